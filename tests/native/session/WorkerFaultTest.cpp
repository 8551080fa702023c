// Platform failures around the worker threads, the events and the center's
// icon clean-up: each row makes one call fail and checks every log line and
// the effects other programs would see. The fixture checks that nothing is
// left open.
#include "native/session/SessionPc.h"
#include "plugin/WorkerThread.h"

#include "NxLogger.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace sessiontest;
using Impl = NxReVadiruService::Impl;

constexpr char kMonitor[] = "(NxReVadiruService::Impl::StartMonitorThread)";
constexpr char kMonitorBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";
constexpr char kNoHandle[] =
    "4 [VuVidazi] processHandle is nullptr(NxReVadiruService::Impl::WaitForProcessExit)";
constexpr char kNotified[] =
    "3 [VuVidazi] notify nxrevadiru.exe quit(NxReVadiruService::Impl::ExitNxReVadiruProcess)";

struct WorkerFault {
    const char* name;
    // Injects the failure and drives the plug-in; may check state on the way.
    std::function<void(Impl&, winsim::Machine&)> run;
    std::vector<std::string> lines;    // every log line, in order
    std::vector<std::string> effects;  // journal kinds event, post and process, in order;
                                       // starts as "start <command line>"
};

void PrintTo(const WorkerFault& c, std::ostream* out) {
    *out << c.name;
}

class WorkerFaultTest : public SessionPcTest, public ::testing::WithParamInterface<WorkerFault> {};

TEST_P(WorkerFaultTest, IsHandledAsChosen) {
    GetParam().run(impl(), machine());
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines(), GetParam().lines);
    std::vector<std::string> effects;
    for (const auto& line : machine().JournalLines({"event", "post", "process"})) {
        // Creations cut to their command line.
        const size_t cmd = line.find(" cmd=<");
        effects.push_back(cmd == std::string::npos
                              ? line
                              : "start " + line.substr(cmd + 6, line.find("> dir=") - cmd - 6));
    }
    EXPECT_EQ(effects, GetParam().effects);
}

void StartMessageCenterWatchWithoutThread(Impl& impl, winsim::Machine& machine) {
    machine.Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
    impl.StartMonitorThread(L"VLAMessageCenter.exe");
    EXPECT_FALSE(impl.messageCenterMonitorActive);
    // The guard was not left set: the next request gets its watch.
    impl.StartMonitorThread(L"VLAMessageCenter.exe");
}

void AnnounceCenterWithoutThread(Impl& impl, winsim::Machine& machine) {
    impl.zarCenterStartEvent.CreateIfAbsent();
    machine.Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
    TagIPCMessageItem announcement;
    announcement.message = "4711";
    announcement.messageLen = 4;
    impl.OnRecvNxZarCenterStartMsg(announcement);
    // The announcement itself is taken in; only its watch (and so the
    // launcher after the center's end) is missing.
    EXPECT_TRUE(impl.zarCenterRunning);
    EXPECT_EQ(impl.zarCenterStartEvent.Wait(0), WAIT_OBJECT_0);
}

// Every log line of an icon clean-up whose helper cannot be started.
std::vector<std::string> IconHelperFailures() {
    std::vector<std::string> lines;
    for (const char* attempt : {"0", "1", "2"}) {
        lines.push_back("4 CreateProcessAsUser Failed: 2(NXPROCESS::StartProcess)");
        lines.push_back(std::string("4 DeleteZarCenterIcon startProcess failed, err:2retry num:") +
                        attempt + "(NxReVadiruService::Impl::DeleteZarCenterIcon)");
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WorkerFaultTest,
    ::testing::Values(
        WorkerFault{
            "MessageCenterWatchThread",
            StartMessageCenterWatchWithoutThread,
            {std::string("4 [VuVidazi] create monitor thread failed VLAMessageCenter.exe") +
                 kMonitor,
             std::string("3 [VuVidazi] enter monitor thread VLAMessageCenter.exe") + kMonitorBody,
             kNoHandle},
            {}},
        WorkerFault{"StartUpCenterWatchThread",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
                        impl.StartMonitorZarCenterThread();
                    },
                    {"4 [VuVidazi] create monitor thread "
                     "failed(NxReVadiruService::Impl::StartMonitorZarCenterThread)"},
                    {}},
        WorkerFault{"AnnouncedCenterWatchAndLauncherThread",
                    AnnounceCenterWithoutThread,
                    {"4 [VuVidazi] create monitor thread "
                     "failed(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg)"},
                    {}},
        WorkerFault{"LibraryPinForTheThread",
                    [](Impl& impl, winsim::Machine& machine) {
                        // The thread runs all the same, without keeping the library loaded.
                        machine.Fail("GetModuleHandleExW", ERROR_MOD_NOT_FOUND);
                        impl.StartMonitorThread(L"NxReVadiru.exe");
                    },
                    {std::string("3 [VuVidazi] enter monitor thread NxReVadiru.exe") + kMonitorBody,
                     kNoHandle},
                    {}},
        WorkerFault{"HelperQuitEventCreation",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("CreateEventW", ERROR_ACCESS_DENIED);
                        impl.ExitNxReVadiruProcess();
                    },
                    {kNotified},
                    {}},
        WorkerFault{"CenterStartEventCreation",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
                        impl.zarCenterStartEvent.CreateIfAbsent();
                        EXPECT_FALSE(impl.zarCenterStartEvent.HasHandle());
                    },
                    {},
                    {}},
        WorkerFault{
            "IconHelperDirectory",
            [](Impl& impl, winsim::Machine& machine) {
                machine.Fail("PathRemoveFileSpecW", ERROR_INVALID_PARAMETER);
                // Each line opens an existing file, as a log file writer may:
                // the "err:" the clean-up logs is still the start's.
                const NxLogger::Sink previous = NxLogger::GetInstance().SetSink(
                    [&machine](LOG_MESSAGE_LEVEL level, const std::wstring&,
                               const std::wstring& text) {
                        CloseHandle(CreateFileW(machine.ExecutablePath().c_str(), GENERIC_READ, 0,
                                                nullptr, OPEN_ALWAYS, 0, nullptr));
                        machine.Record("log", std::to_string(level) + " " + winsim::Narrow(text));
                    });
                impl.DeleteZarCenterIcon();
                NxLogger::GetInstance().SetSink(previous);
            },
            IconHelperFailures(),
            std::vector<std::string>(3,
                                     "start \"C:\\Program Files\\DeskSuite\\VLAMainService.exe\\"
                                     "NxZarCenterHelper.exe\" RefreshNotifyIcon")}),
    [](const auto& info) { return std::string(info.param.name); });

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
