// Runs the conformance suite against the simulated machine: every test gets a
// fresh machine that looks like a started process (executable path, kernel32
// loaded, virtual time passing by itself) and must leave nothing open.
#include "support/ClockDriver.h"
#include "support/SimTest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

// kernel32 is loaded in every Windows process; the suite looks up one of its exports.
winsim::ModuleSpec Kernel32() {
    winsim::ModuleSpec spec;
    spec.path = L"C:\\Windows\\System32\\kernel32.dll";
    spec.exports["GetCurrentThreadId"] = reinterpret_cast<void*>(&GetCurrentThreadId);
    spec.loaded = true;
    return spec;
}

// A system library not yet loaded, for loads by bare name.
winsim::ModuleSpec Version() {
    winsim::ModuleSpec spec;
    spec.path = L"C:\\Windows\\System32\\version.dll";
    return spec;
}

class FreshMachinePerTest : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        machine_ = std::make_unique<winsim::Machine>();
        machine_->SetExecutablePath(simtest::kServiceExecutable);
        machine_->AddModule(Kernel32());
        machine_->AddModule(Version());
        scope_ = std::make_unique<winsim::MachineScope>(*machine_);
        clock_ = std::make_unique<simtest::ClockDriver>(*machine_);
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        simtest::ExpectCleanEnd(*machine_);
        clock_.reset();
        scope_.reset();
        machine_.reset();
    }

private:
    std::unique_ptr<winsim::Machine> machine_;
    std::unique_ptr<winsim::MachineScope> scope_;
    std::unique_ptr<simtest::ClockDriver> clock_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMachinePerTest);
    return RUN_ALL_TESTS();
}
