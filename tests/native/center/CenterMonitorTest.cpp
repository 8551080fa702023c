// The collaboration center watched from its announcement and from start-up:
// the exit report, the clean-up in order, the flags and the hand-over to the
// launcher.
#include "support/SessionPc.h"
#include "support/ClockDriver.h"

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace simtest;

const std::string kAnnounced = "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody)";
const std::string kLauncher = "(NxReVadiruService::Impl::StartNxZarCenter)";
const std::string kRequest = "post: 0x30000 0x30003 \"Silent\" len=7 type=0";
const std::string kRequestLine = "log: 3 [VuVidazi] step1, post ipc startup zarCenter." + kLauncher;

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
    void Announce(const std::string& body, int32_t length) {
        TagIPCMessageItem item;
        item.message = body.c_str();
        item.messageLen = length;
        impl().OnRecvNxZarCenterStartMsg(item);
    }
    void Announce(const std::string& body) { Announce(body, static_cast<int32_t>(body.size())); }
};

TEST_F(CenterMonitorTest, AnnouncedCenterEndsThenCleanUpThenLauncher) {
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

    const std::vector<std::string> effects =
        Effects({"log", "post", "publish", "process", "event", "usage"});
    EXPECT_EQ(effects,
              (std::vector<std::string>{
                  "log: 3 [VuVidazi] enter monitor thread." + kAnnounced,
                  "log: 3 [VuVidazi] processId:10000processHandle:<handle>" + kAnnounced,
                  "log: 3 [VuVidazi] exit, waitCode=0" + kAnnounced,
                  "usage: 992612907 ZarExitType=0 ZarLaunchType=-1",
                  "start \"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe\" RefreshNotifyIcon",
                  "publish: 0xb90004 \"ZAR_SERVICE_UNINIT_ADV_NAME\"",
                  "log: 3 [VuVidazi] PublishIPCMessage Ret = "
                  "1(NxReVadiruService::Impl::PublishZarCenterExitMsg)",
                  "post: 0x20000 0x22711 \"quit_zarCenter\"",
                  "post: 0x270000 0x150059 \"\"",
                  "post: 0x40000 0x150059 \"\"",
                  // The helper told to quit, then the PC put back.
                  "event: SetEvent NxReVadiru.exe",
                  "log: 3 [VuVidazi] notify nxrevadiru.exe "
                  "quit(NxReVadiruService::Impl::ExitNxReVadiruProcess)",
                  "log: 3 restore audio pos:0(NxReVadiruService::Impl::RestoreAudioPos)",
                  "log: 3 [VuVidazi] DRAGDROP - "
                  "DragFileFail...(NxReVadiruService::Impl::StopBasicModeDragDrop)",
                  "post: 0x590000 0x590003 \"\"",
                  "log: 4 get need not disable VirtualDisplayDriver "
                  "fail(NxReVadiruService::Impl::NeedDisable)",
                  "log: 3  needDisableDriver VirtualDisplayDriver "
                  "0(NxReVadiruService::Impl::NeedDisable)",
                  "log: 3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)",
                  "log: 4 Success: Found my device..(NxReVadiruService::Impl::CheckIfOurDevice)",
                  "log: 3 [VuVidazi] Clear Vdisplay info "
                  "successfully(NxReVadiruService::Impl::ClearVdisplayInfo)",
                  "log: 3 [VuVidazi] exit monitor thread." + kAnnounced,
                  // The launcher: the announcement's signal was taken back, so it
                  // waits its three minutes.
                  "log: 3 [VuVidazi] Start NxZarCenter." + kLauncher,
                  "log: 3 [VuVidazi] exit, waitCode=258" + kLauncher,
                  "usage: 992612907 ZarExitType=-1 ZarLaunchType=0",
                  kRequestLine,
                  kRequest,
                  kRequestLine,
                  kRequest,
                  kRequestLine,
                  kRequest,
              }));
    EXPECT_FALSE(impl().zarCenterRunning);
}

TEST_F(CenterMonitorTest, AnnouncementWithAnyIdIsWatchedButOneWithoutALengthIsNot) {
    Announce("4242", 0);
    EXPECT_FALSE(impl().zarCenterRunning);
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), static_cast<DWORD>(WAIT_TIMEOUT));
    for (const char* body : {"7", "abc", "18446744073709551616"}) {
        Announce(body);
        ASSERT_TRUE(machine().WaitForThreads());
    }
    EXPECT_TRUE(impl().zarCenterRunning);
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0), static_cast<DWORD>(WAIT_OBJECT_0));

    const std::string entered = "3 [VuVidazi] enter monitor thread." + kAnnounced;
    const std::string notOpened = "4 [VuVidazi] processHandle is nullptr processId:";
    EXPECT_EQ(
        LogLines(),
        (std::vector<std::string>{
            "3 [VuVidazi] message is null.(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg)",
            entered,
            notOpened + "7" + kAnnounced,
            "4 stoi exception: invalid stoull argument(DE::StoullS)",
            entered,
            notOpened + "0" + kAnnounced,
            "4 stoi exception: stoull argument out of range(DE::StoullS)",
            entered,
            notOpened + "0" + kAnnounced,
        }));
}

TEST_F(CenterMonitorTest, StartUpWatchCleansUpBeforeItsExitLine) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().StartMonitorZarCenterThread();
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    const std::string body = "(NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody)";
    EXPECT_EQ(LogLines().front(), "3 [VuVidazi] enter monitor thread NxZarCenter.exe" + body);
    EXPECT_EQ(LogLines().back(), "3 [VuVidazi] exit monitor thread NxZarCenter.exe" + body);
    EXPECT_EQ(Journal("publish").size(), 1u);
}

}  // namespace
