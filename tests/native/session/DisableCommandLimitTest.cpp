// The recovery waits for the virtual display driver's disable command, but not
// forever: a command that hangs releases the recovery (and the recoveries
// queued behind it, which run one after the other) after a fixed limit, and is
// left running.
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace sessiontest;

constexpr uint64_t kLimitMs = 60000;
const std::string kLimitLine =
    "4 [VuVidazi] disable command still running after 60000 ms, recovery goes "
    "on(NxReVadiruService::Impl::ExecuteCmd)";
const std::string kReleaseLine = "3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)";
const std::string kRunningCleared =
    "set HKEY_USERS\\" + winsim::Narrow(kUserSetting) + "\\nxExcreenRunning = 0";

class DisableCommandLimitTest : public SessionPcTest {
protected:
    void SetUp() override {
        SessionPcTest::SetUp();
        registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    }

    // Virtual times of the log entries with this text, in order.
    std::vector<uint64_t> LogTimes(const std::string& text) const {
        std::vector<uint64_t> times;
        for (const auto& entry : machine().Journal()) {
            if (entry.kind == "log" && entry.text == text) {
                times.push_back(entry.time);
            }
        }
        return times;
    }
    size_t RunningInterpreters() {
        size_t running = 0;
        for (const auto& process : machine().Extension<winsim::Processes>().List()) {
            running += process.imageName == L"cmd.exe" && process.running ? 1 : 0;
        }
        return running;
    }
};

TEST_F(DisableCommandLimitTest, CommandEndingJustUnderTheLimitIsWaitedFor) {
    machine().Extension<winsim::Processes>().Register(L"cmd.exe",
                                                      winsim::programs::RunsFor(kLimitMs - 1));
    {
        const simtest::ClockDriver clock(machine());
        impl().ReleaseKeyboard();
    }
    EXPECT_EQ(LogTimes(kReleaseLine), std::vector<uint64_t>{kLimitMs - 1});
    EXPECT_TRUE(LogTimes(kLimitLine).empty());
    EXPECT_EQ(RunningInterpreters(), 0u);
    EXPECT_EQ(Journal("registry").back(), kRunningCleared) << "the rest of the sequence ran";
}

// Each hung command holds its recovery for one limit, then the sequence goes on.
TEST_F(DisableCommandLimitTest, RecoveriesEnteredTogetherRunOneAfterTheOther) {
    machine().Extension<winsim::Processes>().Register(L"cmd.exe", winsim::Program{});
    {
        const simtest::ClockDriver clock(machine());
        std::thread first([this] { impl().ReleaseKeyboard(); });
        std::thread second([this] { impl().ReleaseKeyboard(); });
        first.join();
        second.join();
    }
    EXPECT_EQ(LogTimes(kLimitLine), (std::vector<uint64_t>{kLimitMs, 2 * kLimitMs}));
    EXPECT_EQ(LogTimes(kReleaseLine), (std::vector<uint64_t>{kLimitMs, 2 * kLimitMs}));
    EXPECT_EQ(RunningInterpreters(), 2u);

    // The second run starts after the first has cleared the running flag, and
    // repeats every step.
    const std::vector<std::string> steps = {
        "log: 3 [VuVidazi] DRAGDROP - "
        "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)",
        "log: " + kReleaseLine, "registry: " + kRunningCleared};
    std::vector<std::string> seen;
    for (const auto& line : machine().JournalLines({"log", "registry"})) {
        if (std::find(steps.begin(), steps.end(), line) != steps.end()) {
            seen.push_back(line);
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{steps[0], steps[1], steps[2], steps[0], steps[1],
                                              steps[2]}));
}

}  // namespace
