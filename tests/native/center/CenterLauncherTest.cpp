// The launcher on the virtual clock: it waits three minutes for the center to
// come back by itself, then asks the host two minutes apart.
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <winsim/Bus.h>

#include <thread>

namespace {

using namespace sessiontest;

constexpr char kLauncher[] = "(NxReVadiruService::Impl::StartNxZarCenter)";
constexpr char kRetail[] = "(NxReVadiruService::Impl::RetailPCStartNxZarCenter)";
const std::string kRequest = "0x30000 0x30003 \"Silent\" len=7 type=0";
const std::string kLaunchReport = "992612907 ZarExitType=-1 ZarLaunchType=0";

std::string Line(const char* text, const char* operation) {
    return std::string("3 ") + text + operation;
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
    void MakeRetail() {
        registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane\\DeskSuite", L"RetailComputer",
                          1);
    }
    // Runs the launcher to its end with the clock moving by itself.
    void RunLauncher() {
        const simtest::ClockDriver clock(machine());
        impl().StartNxZarCenter();
    }
    // Virtual times of the start requests.
    std::vector<uint64_t> RequestTimes() {
        std::vector<uint64_t> times;
        for (const auto& entry : machine().Journal()) {
            if (entry.kind == "post" && entry.text.rfind(kRequest, 0) == 0) {
                times.push_back(entry.time);
            }
        }
        return times;
    }
};

TEST_F(CenterLauncherTest, CenterComingBackByItselfEndsTheWait) {
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().Advance(120000);
    // What the center's start message does.
    impl().zarCenterRunning = true;
    impl().zarCenterStartEvent.Signal();
    launcher.join();
    EXPECT_EQ(LogLines(), std::vector<std::string>({
                              Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                              Line("[VuVidazi] exit, waitCode=0", kLauncher),
                              Line("[VuVidazi] NxZarCenter server is working.", kLauncher),
                          }));
    EXPECT_TRUE(Journal("post").empty());
    EXPECT_TRUE(Journal("usage").empty());
    EXPECT_EQ(machine().Now(), 120000u);
}

TEST_F(CenterLauncherTest, CenterNotBackAsksThreeTimesTwoMinutesApart) {
    RunLauncher();
    const std::string step = Line("[VuVidazi] step1, post ipc startup zarCenter.", kLauncher);
    EXPECT_EQ(LogLines(), std::vector<std::string>({
                              Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                              Line("[VuVidazi] exit, waitCode=258", kLauncher),
                              step,
                              step,
                              step,
                          }));
    EXPECT_EQ(Journal("usage"), std::vector<std::string>{kLaunchReport});
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>({180000, 300000, 420000}));
    EXPECT_EQ(machine().Now(), 540000u) << "the whole run takes nine minutes";
}

TEST_F(CenterLauncherTest, UserQuitBeforeTheRunSendsNothing) {
    impl().zarCenterUserQuit = true;
    RunLauncher();
    EXPECT_EQ(LogLines().back(), Line("[VuVidazi] NxZarCenter is user quit.", kLauncher));
    EXPECT_TRUE(RequestTimes().empty());
    EXPECT_TRUE(Journal("usage").empty());
}

TEST_F(CenterLauncherTest, UserQuitDuringAPauseStopsAfterIt) {
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().AdvanceToNextDeadline();  // three minutes: the first request, then its pause
    ASSERT_TRUE(machine().WaitForParked(1));
    TagIPCMessageItem quit;
    impl().OnRecvZarCenterQuitMsg(quit);
    machine().AdvanceToNextDeadline();
    launcher.join();
    EXPECT_EQ(LogLines().back(), Line("[VuVidazi] step1, stop start NxZarCenter.0", kLauncher));
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>{180000});
    EXPECT_EQ(Journal("usage"), std::vector<std::string>(
                                    {kLaunchReport, "992612907 ZarExitType=1 ZarLaunchType=-1"}));
}

TEST_F(CenterLauncherTest, RetailMachineIgnoresTheQuitAndAsksFiveTimes) {
    MakeRetail();
    impl().zarCenterUserQuit = true;
    RunLauncher();
    const std::string post = Line("[VuVidazi] post ipc startup zarCenter:Silent", kRetail);
    EXPECT_EQ(LogLines(), std::vector<std::string>({
                              Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                              Line("[VuVidazi] exit, waitCode=258", kLauncher),
                              Line("[VuVidazi] Retail computer, start NxZarCenter.", kRetail),
                              post,
                              post,
                              post,
                              post,
                              post,
                          }));
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>({180000, 300000, 420000, 540000, 660000}));
    EXPECT_EQ(Journal("usage"), std::vector<std::string>{kLaunchReport});
}

TEST_F(CenterLauncherTest, RetailMachineStopsWhenTheCenterAnnouncesItself) {
    MakeRetail();
    std::thread launcher([this] { impl().StartNxZarCenter(); });
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().AdvanceToNextDeadline();
    ASSERT_TRUE(machine().WaitForParked(1));
    impl().zarCenterRunning = true;
    machine().AdvanceToNextDeadline();
    launcher.join();
    EXPECT_EQ(LogLines().back(), Line("[VuVidazi] stop start NxZarCenter.0", kRetail));
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>{180000});
}

TEST_F(CenterLauncherTest, BusDownLogsEachFailureAndKeepsThePauses) {
    machine().Extension<winsim::Bus>().SetDown(true);
    RunLauncher();
    const std::string step = Line("[VuVidazi] step1, post ipc startup zarCenter.", kLauncher);
    const std::string fail =
        Line("[VuVidazi] step1, NxZarCenter CreateProcessNormal fail. ret:0", kLauncher);
    EXPECT_EQ(LogLines(), std::vector<std::string>({
                              Line("[VuVidazi] Start NxZarCenter.", kLauncher),
                              Line("[VuVidazi] exit, waitCode=258", kLauncher),
                              step,
                              fail,
                              step,
                              fail,
                              step,
                              fail,
                          }));
    EXPECT_EQ(machine().Now(), 540000u);
}

TEST_F(CenterLauncherTest, StoppedPluginsClosedEventFailsTheWaitAndTheRunGoesOn) {
    impl().Stop();
    RunLauncher();
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1], Line("[VuVidazi] exit, waitCode=4294967295", kLauncher));
    EXPECT_EQ(RequestTimes(), std::vector<uint64_t>({0, 120000, 240000}));
}

}  // namespace
