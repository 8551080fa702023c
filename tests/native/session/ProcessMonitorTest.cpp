// Monitor threads: what follows when the helper or the message center ends,
// the message-center guard, and a stop or the state's release before the end.
#include "native/session/SessionPc.h"

#include <winsim/Bus.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace sessiontest;
using winsim::Narrow;

constexpr char kBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";

class ProcessMonitorTest : public SessionPcTest {
protected:
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    // Lets the monitor reach its wait on the process.
    void WaitForMonitor(size_t waiting = 1) { ASSERT_TRUE(machine().WaitForBlocked(waiting)); }
    void EndAndSettle(uint32_t pid) {
        processes().End(pid);
        ASSERT_TRUE(machine().WaitForThreads());
    }
    // Position of the first journal line equal to `line`; fails the test when missing.
    size_t Position(const std::vector<std::string>& journal, const std::string& line) {
        const auto found = std::find(journal.begin(), journal.end(), line);
        EXPECT_NE(found, journal.end()) << line;
        return static_cast<size_t>(found - journal.begin());
    }
};

TEST_F(ProcessMonitorTest, HelperEndSignalsTheHelperThenRecoversThenLeaves) {
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    impl().reVadiruProcessId = helper;
    impl().StartMonitorThread(L"NxReVadiru.exe");
    WaitForMonitor();
    EndAndSettle(helper);

    const auto journal = machine().JournalLines({"log", "event", "registry"});
    const size_t entered = Position(
        journal, std::string("log: 3 [VuVidazi] enter monitor thread NxReVadiru.exe") + kBody);
    const size_t waited = Position(journal,
                                   "log: 3 [VuVidazi] wait NxReVadiru.exe exit, "
                                   "waitCode=0(NxReVadiruService::Impl::WaitForProcessExit)");
    const size_t signalled = Position(journal, "event: SetEvent NxReVadiru.exe");
    const size_t notified = Position(journal,
                                     "log: 3 [VuVidazi] notify nxrevadiru.exe "
                                     "quit(NxReVadiruService::Impl::ExitNxReVadiruProcess)");
    const size_t recovered = Position(
        journal, "registry: set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0");
    const size_t left = Position(
        journal, std::string("log: 3 [VuVidazi] exit monitor thread NxReVadiru.exe") + kBody);
    EXPECT_LT(entered, waited);
    EXPECT_LT(waited, signalled);
    EXPECT_LT(signalled, notified);
    EXPECT_LT(notified, recovered);
    EXPECT_LT(recovered, left);
    EXPECT_FALSE(impl().messageCenterMonitorActive);
}

TEST_F(ProcessMonitorTest, MessageCenterEndTellsThreeModulesThenCleansTheIcon) {
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    impl().StartMonitorThread(L"VLAMessageCenter.exe");
    WaitForMonitor();
    EXPECT_TRUE(impl().messageCenterMonitorActive);
    EndAndSettle(center);

    std::vector<std::string> effects;
    for (const auto& line : machine().JournalLines({"post", "process"})) {
        if (line.rfind("process: ended", 0) != 0) {
            effects.push_back(line.substr(0, line.find(" user=")));
        }
    }
    EXPECT_EQ(effects, std::vector<std::string>({
                           "post: 0x20000 0x22711 \"quit_mainframe\"",
                           "post: 0x530000 0x22711 \"\"",
                           "post: 0xb955f0 0x6f0007 \"\"",
                           "process: CreateProcessAsUserW",
                       }));
    const auto started = processes().List().back();
    EXPECT_EQ(started.commandLine,
              L"NxTrayWndHelper.exe RefreshNotifyIcon " + std::to_wstring(center));
    const auto lines = LogLines();
    EXPECT_EQ(
        lines.back(),
        std::string("3 [VuVidazi] exit msgcenter monitor thread VLAMessageCenter.exe") + kBody);
    EXPECT_FALSE(impl().messageCenterMonitorActive);
    EXPECT_TRUE(Journal("event").empty()) << "the helper is not told to quit";
}

TEST_F(ProcessMonitorTest, SecondMessageCenterWatchIsRefused) {
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    impl().StartMonitorThread(L"VLAMessageCenter.exe");
    WaitForMonitor();
    impl().StartMonitorThread(L"VLAMessageCenter.exe");
    // The refused watch ends by itself; only the first still waits.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (machine().RunningThreads() > 1 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(machine().RunningThreads(), 1u);
    const auto lines = LogLines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(),
                  std::string("3 [VuVidazi] already monitor thread VLAMessageCenter.exe") + kBody),
        lines.end());
    EXPECT_EQ(machine().BlockedCount(), 1u);
    EndAndSettle(center);
    EXPECT_EQ(Journal("post").size(), 3u) << "one follow-up only";
}

TEST_F(ProcessMonitorTest, MessageCenterNameInOtherCaseIsAHelperWatch) {
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    impl().StartMonitorThread(L"vlamessagecenter.exe");
    WaitForMonitor();
    EXPECT_FALSE(impl().messageCenterMonitorActive);
    EndAndSettle(center);
    EXPECT_EQ(Journal("event"), std::vector<std::string>{"SetEvent NxReVadiru.exe"});
    EXPECT_TRUE(Journal("post").size() == 1u) << "only the recovery's drag-and-drop stop";
    EXPECT_EQ(impl().messageCenterProcessId, 0u) << "the id is recorded only under the exact name";
}

TEST_F(ProcessMonitorTest, ProcessEndingAfterStopGivesOnlyTheForceStopLine) {
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    impl().reVadiruProcessId = helper;
    impl().StartMonitorThread(L"NxReVadiru.exe");
    WaitForMonitor();
    impl().Stop();
    machine().ClearJournal();
    EndAndSettle(helper);
    EXPECT_EQ(machine().JournalLines({"log", "event", "post", "process", "registry", "hid"}),
              std::vector<std::string>({
                  "process: ended <NxReVadiru.exe> pid=" + std::to_string(helper) + " exit=0",
                  "log: 3 [VuVidazi] wait NxReVadiru.exe exit, "
                  "waitCode=0(NxReVadiruService::Impl::WaitForProcessExit)",
                  std::string("log: 3 [VuVidazi] force stop monitor thread ") + kBody,
              }));
}

TEST_F(ProcessMonitorTest, HelperWatchForAMissingHelperEndsWithoutRecovery) {
    impl().reVadiruProcessId = 4242;
    impl().StartMonitorThread(L"NxReVadiru.exe");
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines(),
              std::vector<std::string>({
                  std::string("3 [VuVidazi] enter monitor thread NxReVadiru.exe") + kBody,
                  "4 [VuVidazi] processHandle is "
                  "nullptr(NxReVadiruService::Impl::WaitForProcessExit)",
              }));
}

// The plug-in's state may be released while a watch waits: the thread keeps it.
class ReleasedStateTest : public SessionPcTest {};

TEST_F(ReleasedStateTest, WatchOutlivesTheReleasedState) {
    const uint32_t helper = machine().Extension<winsim::Processes>().Start(L"NxReVadiru.exe");
    {
        auto state = std::make_shared<NxReVadiruService::Impl>();
        state->reVadiruProcessId = helper;
        state->StartMonitorThread(L"NxReVadiru.exe");
        ASSERT_TRUE(machine().WaitForBlocked(1));
    }
    machine().Extension<winsim::Processes>().End(helper);
    ASSERT_TRUE(machine().WaitForThreads());
    const auto lines = LogLines();
    EXPECT_EQ(lines.back(), std::string("3 [VuVidazi] exit monitor thread NxReVadiru.exe") + kBody);
}

}  // namespace
