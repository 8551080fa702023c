// Platform failures around the worker threads, the events and the center's
// icon clean-up: each makes one call fail and checks every log line and the
// effects other programs would see. The fixture checks that nothing is left
// open.
#include "support/NamedRows.h"
#include "support/SessionPc.h"
#include "plugin/WorkerThread.h"

#include "NxLogger.h"

#include <windows.h>

#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using Impl = NxReVadiruService::Impl;

// A worker thread that cannot be created, or could not hold the library: each
// caller logs its own line.
struct ThreadFault : testrows::Named {
    std::function<void(Impl&)> start;
    std::string line;
    const char* failing = "CreateThread";
};

class ThreadFaultTest : public SessionPcTest, public ::testing::WithParamInterface<ThreadFault> {};

TEST_P(ThreadFaultTest, IsLoggedByTheCaller) {
    machine().Fail(GetParam().failing, ERROR_NOT_ENOUGH_MEMORY);
    GetParam().start(impl());
    EXPECT_EQ(LogLines(), std::vector<std::string>{GetParam().line});
}

INSTANTIATE_TEST_SUITE_P(
    Callers, ThreadFaultTest,
    ::testing::Values(
        ThreadFault{"MessageCenterWatch",
                    [](Impl& impl) { impl.StartMonitorThread(L"VLAMessageCenter.exe"); },
                    "4 [VuVidazi] create monitor thread failed "
                    "VLAMessageCenter.exe(NxReVadiruService::Impl::StartMonitorThread)"},
        ThreadFault{"HelperWatchWithoutLibrary",
                    [](Impl& impl) { impl.StartMonitorThread(L"NxReVadiru.exe"); },
                    "4 [VuVidazi] create monitor thread failed "
                    "NxReVadiru.exe(NxReVadiruService::Impl::StartMonitorThread)",
                    "GetModuleHandleExW"},
        ThreadFault{"StartUpCenterWatch", [](Impl& impl) { impl.StartMonitorZarCenterThread(); },
                    "4 [VuVidazi] create monitor thread "
                    "failed(NxReVadiruService::Impl::StartMonitorZarCenterThread)"},
        ThreadFault{"AnnouncedCenterWatch",
                    [](Impl& impl) {
                        TagIPCMessageItem announcement = Item("4711");
                        impl.OnRecvNxZarCenterStartMsg(announcement);
                    },
                    "4 [VuVidazi] create monitor thread "
                    "failed(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg)"},
        // A state no one owns any more (it is being destroyed) tries no thread.
        ThreadFault{"UnownedState", [](Impl&) { Impl().StartMonitorThread(L"NxReVadiru.exe"); },
                    "4 [VuVidazi] create monitor thread failed "
                    "NxReVadiru.exe(NxReVadiruService::Impl::StartMonitorThread)"}),
    testrows::RowName());

using WorkerFaultTest = SessionPcTest;

TEST_F(WorkerFaultTest, CenterStartEventCreation) {
    machine().Fail("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
    impl().zarCenterStartEvent.CreateIfAbsent();
    EXPECT_FALSE(impl().zarCenterStartEvent.HasHandle());
}

// Each try of the icon clean-up logs why the helper did not start. Each log
// line opens an existing file, as a log file writer may: the "err:" the
// clean-up logs is still the start's.
TEST_F(WorkerFaultTest, IconHelperDirectory) {
    machine().Fail("PathRemoveFileSpecW", ERROR_INVALID_PARAMETER);
    const NxLogger::Sink previous = NxLogger::GetInstance().SetSink(
        [this](LOG_MESSAGE_LEVEL level, const std::wstring&, const std::wstring& text) {
            CloseHandle(CreateFileW(machine().ExecutablePath().c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_ALWAYS, 0, nullptr));
            machine().Record("log", std::to_string(level) + " " + winsim::Narrow(text));
        });
    impl().DeleteZarCenterIcon();
    NxLogger::GetInstance().SetSink(previous);

    std::vector<std::string> lines;
    for (const char* attempt : {"0", "1", "2"}) {
        lines.push_back("4 CreateProcessAsUser Failed: 2(NXPROCESS::StartProcess)");
        lines.push_back(std::string("4 DeleteZarCenterIcon startProcess failed, err:2retry num:") +
                        attempt + "(NxReVadiruService::Impl::DeleteZarCenterIcon)");
    }
    EXPECT_EQ(LogLines(), lines);
    EXPECT_THAT(
        machine().JournalLines({"event", "post", "process"}),
        ::testing::AllOf(::testing::SizeIs(3), ::testing::Each(::testing::HasSubstr(
                                                   " cmd=<\"C:\\Program Files\\DeskSuite\\"
                                                   "VLAMainService.exe\\NxZarCenterHelper.exe\" "
                                                   "RefreshNotifyIcon> "))));
}

// A worker keeps the library loaded while it runs and gives it back as it
// ends; one that cannot start gives it back at once.
using WorkerLibraryTest = SimTest;

TEST_F(WorkerLibraryTest, EachWorkerGivesTheLibraryBack) {
    ASSERT_TRUE(StartDetachedThread([] {}));
    ASSERT_TRUE(machine().WaitForThreads());
    machine().Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(StartDetachedThread([] {}));
    EXPECT_EQ(Journal("module"), std::vector<std::string>(2, "FreeLibrary VLAMainService.exe"));
}

}  // namespace
