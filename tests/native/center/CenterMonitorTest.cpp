// The collaboration center watched from its announcement and from start-up:
// the exit report, the clean-up in order, the flags and the hand-over to the
// launcher.
#include "support/ClockDriver.h"
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using ::testing::Contains;

constexpr char kAnnounced[] = "NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody";
constexpr char kLauncher[] = "NxReVadiruService::Impl::StartNxZarCenter";

class CenterMonitorTest : public SessionPcTest {
protected:
    void SetUp() override {
        SessionPcTest::SetUp();
        impl().zarCenterStartEvent.CreateIfAbsent();
        processes().Register(L"NxZarCenterHelper.exe", winsim::programs::ExitsAtOnce());
    }
};

TEST_F(CenterMonitorTest, AnnouncedCenterEndsThenCleanUpThenLauncher) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().zarCenterUserQuit = true;
    const std::string id = std::to_string(center);
    TagIPCMessageItem announcement = Item(id.c_str());
    impl().OnRecvNxZarCenterStartMsg(announcement);
    EXPECT_TRUE(impl().zarCenterRunning);
    EXPECT_FALSE(impl().zarCenterUserQuit);
    ASSERT_TRUE(machine().WaitForBlocked(1));
    {
        const simtest::ClockDriver clock(machine());
        processes().End(center);
        ASSERT_TRUE(machine().WaitForThreads(std::chrono::seconds(30)));
    }

    const auto iconHelper = StartedAsConsoleUser(
        L"\"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe\" RefreshNotifyIcon");
    EXPECT_THAT(machine().Journal(),
                InOrder(Logged(3, "[VuVidazi] exit, waitCode=0", kAnnounced), Reported(0, -1),
                        iconHelper, Published(0xB90004, "ZAR_SERVICE_UNINIT_ADV_NAME"),
                        Posted(0x20000, 0x22711, "quit_zarCenter"), Posted(0x270000, 0x150059, ""),
                        Posted(0x40000, 0x150059, ""),
                        // The helper told to quit, then the PC put back.
                        Signalled("NxReVadiru.exe"), Posted(0x590000, 0x590003, ""),
                        Logged(3, "[VuVidazi] exit monitor thread.", kAnnounced),
                        // The launcher: the announcement's signal was taken back, so it
                        // waits its three minutes, then asks.
                        Logged(3, "[VuVidazi] exit, waitCode=258", kLauncher), Reported(-1, 0)));
    EXPECT_THAT(machine().Journal(), Contains(iconHelper).Times(1));
    EXPECT_FALSE(impl().zarCenterRunning);
}

// The announcement's body, `messageLen` bytes of it, gives the id watched (the
// process is not running here); one without a body or a length is ignored.
struct AnnouncementCase : testrows::Named {
    const char* body;
    int32_t length;
    std::optional<uint32_t> watched;  // nullopt: ignored
    const char* conversionFailure = nullptr;
};

class AnnouncementTest : public CenterMonitorTest,
                         public ::testing::WithParamInterface<AnnouncementCase> {};

TEST_P(AnnouncementTest, SetsTheFlagsAndWatchesTheIdItHolds) {
    const AnnouncementCase& row = GetParam();
    TagIPCMessageItem item = Item(row.body, row.length);
    impl().OnRecvNxZarCenterStartMsg(item);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(impl().zarCenterRunning, row.watched.has_value());
    EXPECT_EQ(impl().zarCenterStartEvent.Wait(0),
              static_cast<DWORD>(row.watched ? WAIT_OBJECT_0 : WAIT_TIMEOUT));
    if (row.watched) {
        EXPECT_THAT(
            machine().Journal(),
            Contains(Logged(
                4, "[VuVidazi] processHandle is nullptr processId:" + std::to_string(*row.watched),
                kAnnounced)));
    } else {
        EXPECT_EQ(LogLines(), std::vector<std::string>{"3 [VuVidazi] message is "
                                                       "null.(NxReVadiruService::Impl::"
                                                       "OnRecvNxZarCenterStartMsg)"});
    }
    EXPECT_THAT(machine().Journal(),
                Contains(LogMentions("stoi exception: ")).Times(row.conversionFailure ? 1 : 0));
    if (row.conversionFailure) {
        EXPECT_THAT(machine().Journal(),
                    Contains(Logged(4, std::string("stoi exception: ") + row.conversionFailure,
                                    "DE::StoullS")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, AnnouncementTest,
    ::testing::Values(AnnouncementCase{"NoLength", "4242", 0, std::nullopt},
                      AnnouncementCase{"NoBody", nullptr, 4, std::nullopt},
                      AnnouncementCase{"OneDigit", "7", 1, 7},
                      AnnouncementCase{"ShorterThanTheText", "4711", 2, 47},
                      AnnouncementCase{"DigitsThenText", " 8x", 3, 8},
                      AnnouncementCase{"AboveThirtyTwoBits", "4294967297", 10, 1},
                      AnnouncementCase{"Letters", "abc", 3, 0, "invalid stoull argument"},
                      AnnouncementCase{"AboveSixtyFourBits", "18446744073709551616", 20, 0,
                                       "stoull argument out of range"}),
    testrows::RowName());

// The start-up watch cleans up after the center but neither reports its exit
// nor asks for it back.
TEST_F(CenterMonitorTest, StartUpWatchCleansUpWithoutReportOrLauncher) {
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    impl().StartMonitorZarCenterThread();
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_THAT(machine().Journal(), InOrder(Published(0xB90004, "ZAR_SERVICE_UNINIT_ADV_NAME"),
                                             Posted(0x590000, 0x590003, "")));
    EXPECT_EQ(LogLines().back(),
              "3 [VuVidazi] exit monitor thread NxZarCenter.exe"
              "(NxReVadiruService::Impl::StartMonitorZarCenterThread::"
              "MonitorBody)");
    EXPECT_TRUE(Journal("usage").empty());
}

// Every quit of the user's is reported, also one after another.
TEST_F(CenterMonitorTest, EachQuitIsReported) {
    TagIPCMessageItem quit;
    impl().OnRecvZarCenterQuitMsg(quit);
    impl().OnRecvZarCenterQuitMsg(quit);
    EXPECT_TRUE(impl().zarCenterUserQuit);
    EXPECT_THAT(machine().Journal(), Contains(Reported(1, -1)).Times(2));
}

}  // namespace
