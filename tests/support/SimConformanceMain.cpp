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

class FreshMachinePerTest : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        machine_ = std::make_unique<winsim::Machine>();
        machine_->SetExecutablePath(simtest::kServiceExecutable);
        // kernel32 is loaded in every Windows process; the suite looks up one of its exports.
        machine_->AddModule(
            {.path = L"C:\\Windows\\System32\\kernel32.dll",
             .exports = {{"GetCurrentThreadId", reinterpret_cast<void*>(&GetCurrentThreadId)}},
             .loaded = true});
        // A system library not yet loaded, for loads by bare name.
        machine_->AddModule(
            {.path = L"C:\\Windows\\System32\\version.dll", .exports = {}, .loaded = false});
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
