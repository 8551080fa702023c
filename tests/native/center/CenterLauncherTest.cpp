// The launcher on the virtual clock: it waits three minutes for the center to
// come back by itself, then asks the host two minutes apart.
#include "support/ClockDriver.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include "SimulatedBus.h"

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace simtest;
using Impl = NxReVadiruService::Impl;

const std::string kLauncher = "(NxReVadiruService::Impl::StartNxZarCenter)";
const std::string kRetail = "(NxReVadiruService::Impl::RetailPCStartNxZarCenter)";
const std::string kLaunchReport = "992612907 ZarExitType=-1 ZarLaunchType=0";

std::string Line(const std::string& text, const std::string& operation) {
    return "3 [VuVidazi] " + text + operation;
}

class CenterLauncherTest : public SessionPcTest {
protected:
    void SetUp() override {
        SessionPcTest::SetUp();
        impl().zarCenterStartEvent.CreateIfAbsent();
    }
};

TEST_F(CenterLauncherTest, CenterBackOrUserQuitBeforeItAsksSendsNothing) {
    const simtest::ClockDriver clock(machine());
    // What the center's start message does.
    impl().zarCenterRunning = true;
    impl().zarCenterStartEvent.Signal();
    impl().StartNxZarCenter();
    impl().zarCenterRunning = false;
    impl().zarCenterStartEvent.Reset();
    impl().zarCenterUserQuit = true;
    impl().StartNxZarCenter();
    // After the plug-in's stop the event is gone: the wait fails at once, and
    // the launcher goes on as before.
    impl().stopRequested = true;
    impl().zarCenterStartEvent.Close();
    impl().StartNxZarCenter();

    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              Line("Start NxZarCenter.", kLauncher),
                              Line("exit, waitCode=0", kLauncher),
                              Line("NxZarCenter server is working.", kLauncher),
                              Line("Start NxZarCenter.", kLauncher),
                              Line("exit, waitCode=258", kLauncher),
                              Line("NxZarCenter is user quit.", kLauncher),
                              Line("Start NxZarCenter.", kLauncher),
                              Line("exit, waitCode=4294967295", kLauncher),
                              Line("NxZarCenter is user quit.", kLauncher),
                          }));
    EXPECT_TRUE(Journal("post").empty());
    EXPECT_TRUE(Journal("usage").empty());
}

// The center does not come back by itself: after three minutes one launch
// report, then requests two minutes apart, each refused by the bus unless it
// is up, until they are used up or, during the first pause, the user quits or
// the center comes back.
enum class Pause { Quiet, UserQuits, CenterBack };

struct RequestRun : testrows::Named {
    bool retail;  // with the user's quit before the run, which a retail machine ignores
    Pause duringTheFirstPause;
    size_t requests;
    bool busUp = false;
};

class RequestRunTest : public CenterLauncherTest,
                       public ::testing::WithParamInterface<RequestRun> {};

TEST_P(RequestRunTest, AsksUntilTheRequestsAreUsedUpOrTheCenterIsBack) {
    const RequestRun& run = GetParam();
    if (run.retail) {
        registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane\\DeskSuite", L"RetailComputer",
                          1);
        impl().zarCenterUserQuit = true;
    }
    machine().Extension<simbus::Bus>().SetDown(!run.busUp);
    // No ASSERT before the join: a thread left joinable would end the program.
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    EXPECT_TRUE(machine().WaitForParked(1));
    machine().AdvanceToNextDeadline();  // three minutes: the first request, then its pause
    EXPECT_TRUE(machine().WaitForParked(1));
    TagIPCMessageItem quit;
    if (run.duringTheFirstPause == Pause::UserQuits) {
        impl().OnRecvZarCenterQuitMsg(quit);
    } else if (run.duringTheFirstPause == Pause::CenterBack) {
        impl().zarCenterRunning = true;
    }
    {
        // A launcher that does not stop runs on to its end instead of hanging the test.
        const simtest::ClockDriver clock(machine());
        launcher.join();
    }

    std::vector<std::string> lines = {Line("Start NxZarCenter.", kLauncher),
                                      Line("exit, waitCode=258", kLauncher)};
    if (run.retail) {
        lines.push_back(Line("Retail computer, start NxZarCenter.", kRetail));
    }
    std::vector<uint64_t> times;
    for (size_t sent = 0; sent < run.requests; ++sent) {
        if (run.retail) {
            lines.push_back(Line("post ipc startup zarCenter:Silent", kRetail));
            lines.push_back(Line("NxZarCenter CreateProcessNormal fail. ret:0", kRetail));
        } else {
            lines.push_back(Line("step1, post ipc startup zarCenter.", kLauncher));
            if (!run.busUp) {
                lines.push_back(
                    Line("step1, NxZarCenter CreateProcessNormal fail. ret:0", kLauncher));
            }
        }
        times.push_back(180000 + 120000 * sent);
    }
    if (run.duringTheFirstPause != Pause::Quiet) {
        lines.push_back(run.retail ? Line("stop start NxZarCenter.0", kRetail)
                                   : Line("step1, stop start NxZarCenter.0", kLauncher));
    }
    EXPECT_EQ(LogLines(), lines);
    std::vector<uint64_t> requestTimes;
    for (const auto& entry : machine().Journal()) {
        if (entry.kind == "post" &&
            entry.text.rfind("0x30000 0x30003 \"Silent\" len=7 type=0", 0) == 0) {
            requestTimes.push_back(entry.time);
        }
    }
    EXPECT_EQ(requestTimes, times);
    std::vector<std::string> usage = {kLaunchReport};
    if (run.duringTheFirstPause == Pause::UserQuits) {
        usage.push_back("992612907 ZarExitType=1 ZarLaunchType=-1");
    }
    EXPECT_EQ(Journal("usage"), usage);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RequestRunTest,
    ::testing::Values(RequestRun{"Ordinary", false, Pause::Quiet, 3},
                      RequestRun{"RetailIgnoresQuit", true, Pause::Quiet, 5},
                      RequestRun{"UserQuits", false, Pause::UserQuits, 1, true},
                      RequestRun{"CenterBack", false, Pause::CenterBack, 1},
                      RequestRun{"RetailCenterBack", true, Pause::CenterBack, 1}),
    testrows::RowName());

// One announcement wakes one waiting launcher: the event resets itself.
TEST_F(CenterLauncherTest, AnnouncementWakesOneWait) {
    impl().zarCenterStartEvent.Signal();
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
