// Platform failures around the worker threads, the events, the bus and the
// center's icon clean-up: each row makes one call fail and checks every log
// line and the effects other programs would see. The fixture checks that
// nothing is left open.
#include "native/session/SessionPc.h"

#include <winsim/Bus.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace sessiontest;
using Impl = NxReVadiruService::Impl;

constexpr char kMonitor[] = "(NxReVadiruService::Impl::StartMonitorThread)";
constexpr char kMonitorBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";
constexpr char kAnnouncedBody[] =
    "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody)";
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

// The center's start message with its process id.
void AnnounceCenter(Impl& impl, const std::string& body) {
    TagIPCMessageItem item;
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    impl.OnRecvNxZarCenterStartMsg(item);
}

void AnnounceCenterWithoutThread(Impl& impl, winsim::Machine& machine) {
    impl.zarCenterStartEvent.CreateIfAbsent();
    machine.Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
    AnnounceCenter(impl, "4711");
    // The announcement itself is taken in; only its watch (and so the
    // launcher after the center's end) is missing.
    EXPECT_TRUE(impl.zarCenterRunning);
    EXPECT_EQ(impl.zarCenterStartEvent.Wait(0), WAIT_OBJECT_0);
}

void AnnounceCenterThatCannotBeOpened(Impl& impl, winsim::Machine& machine) {
    const uint32_t center = machine.Extension<winsim::Processes>().Start(L"NxZarCenter.exe");
    machine.Fail("OpenProcess", ERROR_ACCESS_DENIED);
    AnnounceCenter(impl, std::to_string(center));
    ASSERT_TRUE(machine.WaitForThreads());
    EXPECT_TRUE(impl.zarCenterRunning);
}

void MessageCenterEndsWhileTheBusIsDown(Impl& impl, winsim::Machine& machine) {
    auto& processes = machine.Extension<winsim::Processes>();
    const uint32_t center = processes.Start(L"VLAMessageCenter.exe");
    impl.StartMonitorThread(L"VLAMessageCenter.exe");
    ASSERT_TRUE(machine.WaitForBlocked(1));
    machine.Extension<winsim::Bus>().SetDown(true);
    processes.End(center);
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

// Three starts of the helper at the wrong place, as the clean-up forms it.
std::vector<std::string> IconHelperStarts(const std::string& commandLine) {
    return std::vector<std::string>(3, "start " + commandLine);
}

const std::string kMessageCenterWait =
    "3 [VuVidazi] wait VLAMessageCenter.exe exit, "
    "waitCode=0(NxReVadiruService::Impl::WaitForProcessExit)";

INSTANTIATE_TEST_SUITE_P(
    Faults, WorkerFaultTest,
    ::testing::Values(
        WorkerFault{
            "HelperWatchThread",
            [](Impl& impl, winsim::Machine& machine) {
                machine.Fail("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
                impl.StartMonitorThread(L"NxReVadiru.exe");
            },
            {std::string("4 [VuVidazi] create monitor thread failed NxReVadiru.exe") + kMonitor},
            {}},
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
        WorkerFault{
            "AnnouncedCenterOpen",
            AnnounceCenterThatCannotBeOpened,
            {std::string("3 [VuVidazi] enter monitor thread.") + kAnnouncedBody,
             std::string("4 [VuVidazi] processHandle is nullptr processId:10000") + kAnnouncedBody},
            {}},
        WorkerFault{"HelperQuitEventCreation",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("CreateEventW", ERROR_ACCESS_DENIED);
                        impl.ExitNxReVadiruProcess();
                    },
                    {kNotified},
                    {}},
        WorkerFault{"HelperQuitEventSignal",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("SetEvent", ERROR_ACCESS_DENIED);
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
        // A start announced before the center's end then still counts: the
        // launcher's wait ends at once (it then finds the center not running).
        WorkerFault{"CenterStartEventReset",
                    [](Impl& impl, winsim::Machine& machine) {
                        impl.zarCenterStartEvent.CreateIfAbsent();
                        impl.zarCenterStartEvent.Signal();
                        machine.Fail("ResetEvent", ERROR_INVALID_HANDLE);
                        impl.zarCenterStartEvent.Reset();
                        EXPECT_EQ(impl.zarCenterStartEvent.Wait(0), WAIT_OBJECT_0);
                    },
                    {},
                    {}},
        WorkerFault{"IconHelperDirectory",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("PathRemoveFileSpecW", ERROR_INVALID_PARAMETER);
                        impl.DeleteZarCenterIcon();
                    },
                    IconHelperFailures(),
                    IconHelperStarts("\"C:\\Program Files\\DeskSuite\\VLAMainService.exe\\"
                                     "NxZarCenterHelper.exe\" RefreshNotifyIcon")},
        WorkerFault{"IconHelperHostPath",
                    [](Impl& impl, winsim::Machine& machine) {
                        machine.Fail("GetModuleFileNameW", ERROR_INSUFFICIENT_BUFFER);
                        impl.DeleteZarCenterIcon();
                    },
                    IconHelperFailures(),
                    IconHelperStarts("\\NxZarCenterHelper.exe RefreshNotifyIcon")},
        WorkerFault{
            "MessageCenterNoticesWithTheBusDown",
            MessageCenterEndsWhileTheBusIsDown,
            {std::string("3 [VuVidazi] enter monitor thread VLAMessageCenter.exe") + kMonitorBody,
             kMessageCenterWait,
             std::string("3 [VuVidazi] exit msgcenter monitor thread "
                         "VLAMessageCenter.exe") +
                 kMonitorBody},
            {"process: ended <VLAMessageCenter.exe> pid=10000 exit=0",
             "post: 0x20000 0x22711 \"quit_mainframe\" failed",
             "post: 0x530000 0x22711 \"\" failed", "post: 0xb955f0 0x6f0007 \"\" failed",
             "start NxTrayWndHelper.exe RefreshNotifyIcon 10000",
             "process: ended <NxTrayWndHelper.exe> pid=10008 exit=0"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
