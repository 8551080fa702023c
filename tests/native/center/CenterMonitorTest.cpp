// The collaboration center watched from its announcement and from start-up:
// the exit report, the clean-up in order, the flags and the hand-over to the
// launcher.
#include "native/session/SessionPc.h"
#include "support/ClockDriver.h"

#include <winsim/Bus.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace sessiontest;
using winsim::Narrow;

constexpr char kAnnounced[] = "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody)";
constexpr char kHandler[] = "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg)";
const std::string kHelperCommand =
    "\"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe\" RefreshNotifyIcon";

TagIPCMessageItem Announcement(const std::string& body) {
    TagIPCMessageItem item;
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    return item;
}

class CenterMonitorTest : public SessionPcTest {
protected:
    void SetUp() override {
        SessionPcTest::SetUp();
        impl().zarCenterStartEvent.CreateIfAbsent();
        processes().Register(L"NxZarCenterHelper.exe", winsim::programs::ExitsAtOnce());
    }
    void TearDown() override {
        impl().zarCenterStartEvent.Close();
        SessionPcTest::TearDown();
    }
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    void Announce(const std::string& body) {
        TagIPCMessageItem item = Announcement(body);
        impl().OnRecvNxZarCenterStartMsg(item);
    }
    // The clean-up's effects in order, with creation lines cut to their command line.
    std::vector<std::string> CleanUpEffects() {
        std::vector<std::string> effects;
        for (const auto& line :
             machine().JournalLines({"post", "publish", "process", "event", "usage"})) {
            if (line.rfind("process: Create", 0) == 0) {
                const size_t cmd = line.find("cmd=<");
                effects.push_back("start " + line.substr(cmd + 5, line.find("> dir=") - cmd - 5));
            } else if (line.rfind("process: ended", 0) != 0) {
                effects.push_back(line);
            }
        }
        return effects;
    }
};

// With the icon helper present, or missing: the clean-up goes on without it.
class CenterEndTest : public CenterMonitorTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CenterEndTest, AnnouncedCenterEndsThenCleanUpThenLauncher) {
    const bool helperMissing = GetParam();
    if (helperMissing) {
        machine().Fail("CreateProcessAsUserW", ERROR_FILE_NOT_FOUND, 3);
    }
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().zarCenterUserQuit = true;
    Announce(std::to_string(center));
    EXPECT_TRUE(impl().zarCenterRunning);
    EXPECT_FALSE(impl().zarCenterUserQuit);
    ASSERT_TRUE(machine().WaitForBlocked(1));
    {
        const simtest::ClockDriver clock(machine());
        processes().End(center);
        ASSERT_TRUE(machine().WaitForThreads(std::chrono::seconds(30)));
    }
    std::vector<std::string> effects = {
        "usage: 992612907 ZarExitType=0 ZarLaunchType=-1",
        "start " + kHelperCommand,
        "publish: 0xb90004 \"ZAR_SERVICE_UNINIT_ADV_NAME\"",
        "post: 0x20000 0x22711 \"quit_zarCenter\"",
        "post: 0x270000 0x150059 \"\"",
        "post: 0x40000 0x150059 \"\"",
        "event: SetEvent NxReVadiru.exe",
        "post: 0x590000 0x590003 \"\"",
        // The launcher, after its three minutes.
        "usage: 992612907 ZarExitType=-1 ZarLaunchType=0",
        "post: 0x30000 0x30003 \"Silent\" len=7 type=0",
        "post: 0x30000 0x30003 \"Silent\" len=7 type=0",
        "post: 0x30000 0x30003 \"Silent\" len=7 type=0",
    };
    if (helperMissing) {
        effects.erase(effects.begin() + 1);
    }
    EXPECT_EQ(CleanUpEffects(), effects);
    const auto lines = LogLines();
    const auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_LT(at("3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)"),
              at(std::string("3 [VuVidazi] exit monitor thread.") + kAnnounced));
    EXPECT_LT(at(std::string("3 [VuVidazi] exit monitor thread.") + kAnnounced),
              at("3 [VuVidazi] Start NxZarCenter.(NxReVadiruService::Impl::StartNxZarCenter)"));
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "3 [VuVidazi] PublishIPCMessage Ret = "
                        "1(NxReVadiruService::Impl::PublishZarCenterExitMsg)"),
              lines.end());
    const std::string opened =
        "3 [VuVidazi] processId:" + std::to_string(center) + "processHandle:";
    // The handle's value follows, in hex.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const auto& line) {
                                return line.rfind(opened, 0) == 0 &&
                                       line.find_first_not_of("0123456789abcdefx", opened.size()) ==
                                           line.find('(');
                            }),
              1);
    // The announcement's signal was taken back, so the launcher waited its time.
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  "3 [VuVidazi] exit, waitCode=258(NxReVadiruService::Impl::StartNxZarCenter)"),
        lines.end());
    EXPECT_FALSE(impl().zarCenterRunning);
}

INSTANTIATE_TEST_SUITE_P(IconHelper, CenterEndTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Missing" : "Present"; });

struct BodyCase {
    const char* name;
    std::string body;
    int32_t messageLen;  // -1: the body's length
    std::vector<std::string> expectedLines;
    bool flagsSet;
};

class AnnouncementBodyTest : public CenterMonitorTest,
                             public ::testing::WithParamInterface<BodyCase> {};

TEST_P(AnnouncementBodyTest, ParsesTheProcessId) {
    const BodyCase& test = GetParam();
    TagIPCMessageItem item = Announcement(test.body);
    if (test.messageLen >= 0) {
        item.messageLen = test.messageLen;
    }
    impl().OnRecvNxZarCenterStartMsg(item);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines(), test.expectedLines);
    EXPECT_EQ(impl().zarCenterRunning.load(), test.flagsSet);
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), test.flagsSet ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
}

const std::string kEntered = std::string("3 [VuVidazi] enter monitor thread.") + kAnnounced;

INSTANTIATE_TEST_SUITE_P(
    Bodies, AnnouncementBodyTest,
    ::testing::Values(
        BodyCase{"DigitsThenText",
                 " 4242abc",
                 -1,
                 {kEntered,
                  std::string("4 [VuVidazi] processHandle is nullptr processId:4242") + kAnnounced},
                 true},
        BodyCase{"Letters",
                 "abc",
                 -1,
                 {"4 stoi exception: invalid stoull argument(DE::StoullS)", kEntered,
                  std::string("4 [VuVidazi] processHandle is nullptr processId:0") + kAnnounced},
                 true},
        BodyCase{"OneDigit",
                 "7",
                 -1,
                 {kEntered,
                  std::string("4 [VuVidazi] processHandle is nullptr processId:7") + kAnnounced},
                 true},
        BodyCase{"BeyondAnyNumber",
                 "99999999999999999999",
                 -1,
                 {"4 stoi exception: stoull argument out of range(DE::StoullS)", kEntered,
                  std::string("4 [VuVidazi] processHandle is nullptr processId:0") + kAnnounced},
                 true},
        BodyCase{"NoLength",
                 "4242",
                 0,
                 {std::string("3 [VuVidazi] message is null.") + kHandler},
                 false}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return info.param.name; });

TEST_F(CenterMonitorTest, StartUpWatchCleansUpBeforeItsExitLine) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().StartMonitorZarCenterThread();
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines().back(),
              "3 [VuVidazi] exit monitor thread NxZarCenter.exe"
              "(NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody)");
    EXPECT_EQ(Journal("publish").size(), 1u);
}

TEST_F(CenterMonitorTest, CenterWatchedByBothThreadsIsCleanedUpByEach) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().StartMonitorZarCenterThread();
    Announce(std::to_string(center));
    ASSERT_TRUE(machine().WaitForBlocked(2));
    {
        const simtest::ClockDriver clock(machine());
        processes().End(center);
        ASSERT_TRUE(machine().WaitForThreads(std::chrono::seconds(30)));
    }
    const auto publishes = Journal("publish");
    EXPECT_EQ(publishes.size(), 2u) << "one clean-up on each thread";
    EXPECT_EQ(Journal("usage"), std::vector<std::string>({
                                    "992612907 ZarExitType=0 ZarLaunchType=-1",
                                    "992612907 ZarExitType=-1 ZarLaunchType=0",
                                }))
        << "only the announced watch reports and restarts";
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "3 [VuVidazi] exit monitor thread NxZarCenter.exe"
                        "(NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody)"),
              lines.end());
}

}  // namespace
