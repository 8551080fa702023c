// The monitor threads: which watch a name asks for.
#include "support/JournalMatchers.h"
#include "support/SessionPc.h"

namespace {

using namespace simtest;
using ::testing::Contains;

using ProcessMonitorTest = SessionPcTest;

// Only the message center's exact name asks for its watch: in other letter
// case it is a helper watch, without the guard, and its end is the helper's.
TEST_F(ProcessMonitorTest, MessageCenterInOtherCaseIsWatchedAsTheHelper) {
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    impl().StartMonitorThread(L"vlamessagecenter.exe");
    impl().StartMonitorThread(L"vlamessagecenter.exe");
    ASSERT_TRUE(machine().WaitForBlocked(2));
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    const auto quit = Signalled("NxReVadiru.exe");
    // Each watch tells the helper to quit before it puts the PC back.
    EXPECT_THAT(machine().Journal(), InOrder(quit, quit, Posted(0x590000, 0x590003, "")));
    // The last exit line comes after both watches have put the keyboard back.
    EXPECT_THAT(machine().Journal(),
                InOrder(quit,
                        Logged(3, "[VuVidazi] notify nxrevadiru.exe quit",
                               "NxReVadiruService::Impl::ExitNxReVadiruProcess"),
                        LogMentions("ReleaseKeyBoard("), LogMentions("ReleaseKeyBoard("),
                        LogMentions("[VuVidazi] exit monitor thread vlamessagecenter.exe(")));
    EXPECT_THAT(machine().Journal(), Not(Contains(Posted(0x20000, 0x22711, "quit_mainframe"))));
}

}  // namespace
