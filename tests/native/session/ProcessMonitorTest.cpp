// Monitor threads on the plug-in's private state: which watch a name makes, and
// a watch that outlives the state's release. (What follows each end, the
// message-center guard and a stop before the end are checked end to end.)
#include "native/session/SessionPc.h"

#include <memory>

namespace {

using namespace sessiontest;

using ProcessMonitorTest = SessionPcTest;

TEST_F(ProcessMonitorTest, MessageCenterNameInOtherCaseIsAHelperWatch) {
    auto& processes = machine().Extension<winsim::Processes>();
    const uint32_t center = processes.Start(L"VLAMessageCenter.exe");
    impl().StartMonitorThread(L"vlamessagecenter.exe");
    ASSERT_TRUE(machine().WaitForBlocked(1));
    EXPECT_FALSE(impl().messageCenterMonitorActive);
    processes.End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(Journal("event"), std::vector<std::string>{"SetEvent NxReVadiru.exe"});
    EXPECT_EQ(Journal("post"), std::vector<std::string>{"0x590000 0x590003 \"\""})
        << "only the recovery's drag-and-drop stop";
    EXPECT_EQ(impl().messageCenterProcessId, 0u) << "the id is recorded only under the exact name";
}

// The plug-in's state may be released while a watch waits: the thread keeps it.
TEST_F(ProcessMonitorTest, WatchOutlivesTheReleasedState) {
    auto& processes = machine().Extension<winsim::Processes>();
    const uint32_t helper = processes.Start(L"NxReVadiru.exe");
    {
        auto state = std::make_shared<NxReVadiruService::Impl>();
        state->reVadiruProcessId = helper;
        state->StartMonitorThread(L"NxReVadiru.exe");
        ASSERT_TRUE(machine().WaitForBlocked(1));
    }
    processes.End(helper);
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines().back(),
              "3 [VuVidazi] exit monitor thread "
              "NxReVadiru.exe(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)");
}

}  // namespace
