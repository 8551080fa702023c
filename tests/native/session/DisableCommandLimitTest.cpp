// The recovery waits for the virtual display driver's disable command, but not
// forever: a command that hangs releases the recovery (and the recoveries
// queued behind it) after a fixed limit, and is left running.
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <optional>
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

struct CommandCase {
    const char* name;
    std::optional<uint64_t> runsForMs;  // none: never ends by itself
    uint64_t releasedAtMs;
    bool limitHit;
};

class DisableCommandDuration : public DisableCommandLimitTest,
                               public ::testing::WithParamInterface<CommandCase> {};

TEST_P(DisableCommandDuration, HoldsTheRecoveryUntilItEndsOrTheLimit) {
    const CommandCase& c = GetParam();
    auto& processes = machine().Extension<winsim::Processes>();
    processes.Register(L"cmd.exe",
                       c.runsForMs ? winsim::programs::RunsFor(*c.runsForMs) : winsim::Program{});
    {
        const simtest::ClockDriver clock(machine());
        impl().ReleaseKeyboard();
    }
    EXPECT_EQ(LogTimes(kReleaseLine), std::vector<uint64_t>{c.releasedAtMs});
    EXPECT_EQ(LogTimes(kLimitLine),
              c.limitHit ? std::vector<uint64_t>{kLimitMs} : std::vector<uint64_t>{});
    EXPECT_EQ(RunningInterpreters(), c.limitHit ? 1u : 0u);
    // The rest of the sequence ran.
    EXPECT_EQ(Journal("hid").size(), 1u);
    EXPECT_EQ(Journal("registry").back(),
              "set HKEY_USERS\\" + winsim::Narrow(kUserSetting) + "\\nxExcreenRunning = 0");
}

INSTANTIATE_TEST_SUITE_P(Commands, DisableCommandDuration,
                         ::testing::Values(CommandCase{"Quick", 300, 300, false},
                                           CommandCase{"JustUnderTheLimit", kLimitMs - 1,
                                                       kLimitMs - 1, false},
                                           CommandCase{"Hung", std::nullopt, kLimitMs, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisableCommandLimitTest, HungCommandsDelayQueuedRecoveriesByOneLimitEach) {
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
}

}  // namespace
