// The launcher on the virtual clock: it waits three minutes for the center to
// come back by itself, then asks the host two minutes apart.
#include "support/SessionPc.h"
#include "support/ClockDriver.h"

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
    void TearDown() override {
        impl().zarCenterStartEvent.Close();
        SessionPcTest::TearDown();
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

    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              Line("Start NxZarCenter.", kLauncher),
                              Line("exit, waitCode=0", kLauncher),
                              Line("NxZarCenter server is working.", kLauncher),
                              Line("Start NxZarCenter.", kLauncher),
                              Line("exit, waitCode=258", kLauncher),
                              Line("NxZarCenter is user quit.", kLauncher),
                          }));
    EXPECT_TRUE(Journal("post").empty());
    EXPECT_TRUE(Journal("usage").empty());
}

// The center does not come back by itself: after three minutes one launch
// report, then requests two minutes apart, each refused by the bus, until they
// are used up or, during the first pause, the user quits or the center comes back.
struct RequestRun {
    const char* name;
    bool retail;  // with the user's quit before the run, which a retail machine ignores
    void (*duringTheFirstPause)(Impl&);  // nullptr: nothing happens
    size_t requests;
    std::string stopLine;            // empty: none
    std::vector<std::string> usage;  // the usage events, in order
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
    machine().Extension<simbus::Bus>().SetDown(true);
    // No ASSERT before the join: a thread left joinable would end the program.
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    EXPECT_TRUE(machine().WaitForParked(1));
    machine().AdvanceToNextDeadline();  // three minutes: the first request, then its pause
    EXPECT_TRUE(machine().WaitForParked(1));
    if (run.duringTheFirstPause) {
        run.duringTheFirstPause(impl());
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
            lines.push_back(Line("step1, NxZarCenter CreateProcessNormal fail. ret:0", kLauncher));
        }
        times.push_back(180000 + 120000 * sent);
    }
    if (!run.stopLine.empty()) {
        lines.push_back(run.stopLine);
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
    EXPECT_EQ(Journal("usage"), run.usage);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RequestRunTest,
    ::testing::Values(RequestRun{"Ordinary", false, nullptr, 3, "", {kLaunchReport}},
                      RequestRun{"RetailDespiteTheQuit", true, nullptr, 5, "", {kLaunchReport}},
                      RequestRun{"UserQuitsDuringAPause",
                                 false,
                                 [](Impl& impl) {
                                     TagIPCMessageItem quit;
                                     impl.OnRecvZarCenterQuitMsg(quit);
                                 },
                                 1,
                                 Line("step1, stop start NxZarCenter.0", kLauncher),
                                 {kLaunchReport, "992612907 ZarExitType=1 ZarLaunchType=-1"}},
                      RequestRun{"RetailCenterBackDuringAPause",
                                 true,
                                 [](Impl& impl) { impl.zarCenterRunning = true; },
                                 1,
                                 Line("stop start NxZarCenter.0", kRetail),
                                 {kLaunchReport}}),
    [](const auto& info) { return std::string(info.param.name); });

// One announcement wakes one waiting launcher: the event resets itself.
TEST_F(CenterLauncherTest, AnnouncementWakesOneWait) {
    impl().zarCenterStartEvent.Signal();
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
