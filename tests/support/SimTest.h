// GoogleTest fixture for native tests: a fresh simulated machine installed for
// the test, the service's executable path set, and at the end a check that
// every worker thread finished and no handle or resource was left open.
#pragma once

#include <winsim/Machine.h>
#include <winsim/SimProcesses.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace simtest {

// Where the host service runs from on the simulated machine.
inline constexpr const wchar_t* kServiceExecutable =
    L"C:\\Program Files\\DeskSuite\\VLAMainService.exe";

// Success when nothing is open; otherwise the open kinds, e.g. "2 open: event, thread".
inline ::testing::AssertionResult NoOpenHandles(const winsim::Machine& machine) {
    const std::vector<std::string> kinds = machine.OpenHandleKinds();
    if (kinds.empty()) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream message;
    message << kinds.size() << " open:";
    const char* separator = " ";
    for (const auto& kind : kinds) {
        message << separator << kind;
        separator = ", ";
    }
    return ::testing::AssertionFailure() << message.str();
}

// The checks every test must pass at its end: worker threads finished, nothing open.
inline void ExpectCleanEnd(const winsim::Machine& machine) {
    EXPECT_TRUE(machine.WaitForThreads())
        << machine.RunningThreads() << " worker thread(s) still running at the end of the test";
    EXPECT_TRUE(NoOpenHandles(machine)) << "handles or resources left open";
}

}  // namespace simtest

class SimTest : public ::testing::Test {
protected:
    SimTest() { machine_.SetExecutablePath(simtest::kServiceExecutable); }
    // The plug-in's children that inherit handles get none of the plug-in's.
    void TearDown() override {
        simtest::ExpectCleanEnd(machine_);
        EXPECT_EQ(Journal("handle"), std::vector<std::string>{});
    }

    winsim::Machine& machine() { return machine_; }
    const winsim::Machine& machine() const { return machine_; }
    winsim::Processes& processes() { return machine_.Extension<winsim::Processes>(); }
    // Texts of the "log" journal entries, e.g. "3 [VuVidazi] ...(Operation)".
    std::vector<std::string> LogLines() const { return machine_.JournalTexts("log"); }
    // Journal texts of one kind ("event", "module", "process", ...).
    std::vector<std::string> Journal(const std::string& kind) const {
        return machine_.JournalTexts(kind);
    }

private:
    winsim::Machine machine_;
    winsim::MachineScope scope_{machine_};
};
