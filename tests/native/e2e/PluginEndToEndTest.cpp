// The whole plug-in as the host runs it: created by the registration table's
// factory, started and stopped, and driven only through the bus and the
// processes of the simulated PC.
#include "native/session/RecoveryJournal.h"
#include "native/session/SessionPc.h"
#include "plugin/ModuleExports.h"
#include "plugin/PluginTable.h"
#include "support/ClockDriver.h"
#include "support/SimTest.h"

#include <winsim/Bus.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace sessiontest;
using winsim::Narrow;

constexpr int32_t kPluginModule = 0x6F0000;
constexpr int32_t kHelperModule = 0x690000;
constexpr int32_t kMessageCenterModule = 0x20000;
constexpr uint32_t kAccessViolation = 0xC0000005;

constexpr char kMonitorBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";
const std::string kMessageCenterWatchEntered =
    "log: 3 [VuVidazi] enter monitor thread VLAMessageCenter.exe" + std::string(kMonitorBody);
const std::string kCenterWatchEntered =
    "log: 3 [VuVidazi] enter monitor thread "
    "NxZarCenter.exe(NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody)";
const std::string kPidRequest = "post: 0x690000 0x690022 \"\"";

class PluginEndToEndTest : public SessionPc<SimTest> {
protected:
    // The plug-in goes first: its bus connection must be gone before the
    // machine's end-of-test checks.
    void TearDown() override {
        if (plugin) {
            EXPECT_FALSE(plugin->Stop());
            EXPECT_FALSE(plugin->Uninitialize());
            plugin.reset();
        }
        SessionPc<SimTest>::TearDown();
    }

    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    winsim::Bus& bus() { return machine().Extension<winsim::Bus>(); }

    // As the host does: the module, then the plug-in, each answering as the host expects.
    void StartPlugin() {
        EXPECT_TRUE(InitializePluginModule());
        plugin = PluginRegistrationTable[0].factory();
        ASSERT_TRUE(plugin);
        EXPECT_TRUE(plugin->Initialize());
        EXPECT_TRUE(plugin->Start());
    }
    // What another module tells the plug-in, handled before this returns.
    void Deliver(int32_t sender, int32_t msgId, const std::string& body) {
        bus().Send(sender, kPluginModule, msgId, body);
        ASSERT_TRUE(bus().WaitIdle());
    }
    // Waits (real time, bounded) until only `count` worker threads run.
    void WaitForRunningThreads(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (machine().RunningThreads() > count && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(machine().RunningThreads(), count);
    }
    std::vector<std::string> Effects() const {
        return machine().JournalLines({"log", "event", "process", "registry", "hid", "post"});
    }
    static bool Contains(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
            return line.find(part) != std::string::npos;
        }));
    }
    // The decimal id of the process started with `commandLine`.
    std::string ProcessId(const std::wstring& commandLine) {
        for (const auto& process : processes().List()) {
            if (process.commandLine == commandLine) {
                return std::to_string(process.id);
            }
        }
        ADD_FAILURE() << "not started: " << Narrow(commandLine);
        return {};
    }
    // The recovery's last effect, the session's running flag cleared.
    static std::string RunningFlagCleared() {
        return "registry: set HKEY_USERS\\" + Narrow(kUserSetting) + "\\nxExcreenRunning = 0";
    }

    std::shared_ptr<VLAPlugin> plugin;
};

// The first occurrences of `expected` in `journal` come in this order.
::testing::AssertionResult FirstOccurrencesInOrder(const std::vector<std::string>& journal,
                                                   const std::vector<std::string>& expected) {
    auto previous = journal.begin();
    for (const auto& line : expected) {
        const auto at = std::find(journal.begin(), journal.end(), line);
        if (at == journal.end() || (line != expected.front() && at <= previous)) {
            std::string all;
            for (const auto& entry : journal) {
                all += "\n  " + entry;
            }
            return ::testing::AssertionFailure()
                   << "missing or out of order: " << line << "\njournal:" << all;
        }
        previous = at;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(PluginEndToEndTest, HelperCrashDuringASessionPutsThePcBack) {
    registry.SetDword(HKEY_USERS, kUserSetting, L"pcmute", 1);
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    // The helper runs: no recovery, and the handle that found it is closed again.
    EXPECT_FALSE(Contains(Effects(), RunningFlagCleared()));
    EXPECT_TRUE(Contains(Effects(), kPidRequest));
    EXPECT_EQ(machine().OpenHandleKinds(), std::vector<std::string>{"event"})
        << "only the collaboration center's start event stays open";

    Deliver(kHelperModule, 0x6F0004, "1920 1080 150 2560 1600 200");
    EXPECT_EQ(registry.GetDword(HKEY_USERS, kUserDpi, L"needRestore"), 1u);
    EXPECT_EQ(registry.GetDword(HKEY_USERS, kUserDpi, L"restoreDpi"), 150u);
    Deliver(kHelperModule, 0x6F0002, "1 " + std::to_string(helper));
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(helper, kAccessViolation);
    ASSERT_TRUE(machine().WaitForThreads());

    // From the helper's monitor entering to its leaving.
    const auto journal =
        machine().JournalLines({"log", "event", "process", "registry", "hid", "audio", "post"});
    const std::string entered =
        "log: 3 [VuVidazi] enter monitor thread NxReVadiru.exe" + std::string(kMonitorBody);
    const auto first = std::find(journal.begin(), journal.end(), entered);
    ASSERT_NE(first, journal.end());

    const std::string setDpi = ProcessId(L"NxReVadiru.exe setdpi 150 0");
    const std::string disable = ProcessId(L"cmd.exe /c NxReVadiru.exe disable");
    std::vector<std::string> expected = {
        entered,
        "process: ended <NxReVadiru.exe> pid=" + std::to_string(helper) + " exit=3221225477",
        "log: 3 [VuVidazi] wait NxReVadiru.exe exit, "
        "waitCode=0(NxReVadiruService::Impl::WaitForProcessExit)",
        // The helper is told to quit, then the PC is put back.
        "event: SetEvent NxReVadiru.exe",
        "log: 3 [VuVidazi] notify nxrevadiru.exe "
        "quit(NxReVadiruService::Impl::ExitNxReVadiruProcess)",
    };
    // The start-up checks deleted the driver's settings already.
    const auto recovery = RecoveryJournal({setDpi, disable, keyboardPath, false, false});
    expected.insert(expected.end(), recovery.begin(), recovery.end());
    expected.push_back("log: 3 [VuVidazi] exit monitor thread NxReVadiru.exe" +
                       std::string(kMonitorBody));
    EXPECT_EQ(std::vector<std::string>(first, journal.end()), expected);
}

TEST_F(PluginEndToEndTest, MissingHelperIsRecoveredBeforeAnythingElseStarts) {
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    const auto journal = Effects();
    // The monitors log from their own threads, so only the recovery's place
    // before each of them is fixed; the host's thread then clears the
    // driver's settings (deleted by the recovery already) and asks for the pid.
    for (const auto& later : {kMessageCenterWatchEntered, kCenterWatchEntered}) {
        EXPECT_TRUE(FirstOccurrencesInOrder(journal, {RunningFlagCleared(), later}));
    }
    EXPECT_TRUE(
        FirstOccurrencesInOrder(journal, {RunningFlagCleared(),
                                          "log: 4 [VuVidazi] Clear Vdisplay info "
                                          "failed(NxReVadiruService::Impl::ClearVdisplayInfo)",
                                          kPidRequest}));
    EXPECT_EQ(CountContaining(journal, "nxExcreenRunning"), 1u) << "one recovery";
}

// Messages that reach the plug-in while the start-up recovery runs the
// driver's disable command, with the tab-tip handler as the early witness.
struct LateMessage {
    const char* name;
    int32_t msgId;
    const char* body;
};

class PluginStartupMessagesTest : public PluginEndToEndTest,
                                  public ::testing::WithParamInterface<LateMessage> {};

TEST_P(PluginStartupMessagesTest, LateMessageDuringTheChecksIsNotHandled) {
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    const LateMessage message = GetParam();
    processes().Register(
        L"cmd.exe", [this, message](winsim::Machine&, const winsim::ProcessInfo& process) {
            // A restore the late handler would act on.
            registry.SetDword(HKEY_USERS, kUserDpi, L"needRestore", 1);
            registry.SetDword(HKEY_USERS, kUserDpi, L"restoreDpi", 125);
            bus().Send(kMessageCenterModule, kPluginModule, message.msgId, message.body);
            bus().Send(kMessageCenterModule, kPluginModule, 0x6F0003, "7");
            EXPECT_TRUE(bus().WaitIdle());
            processes().End(process.id);
        });
    simtest::ClockDriver clock(machine());
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    ASSERT_TRUE(bus().WaitIdle());

    const auto lines = LogLines();
    EXPECT_TRUE(Contains(
        lines, "3 recv tabtip value 7(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"));
    EXPECT_TRUE(Journal("usage").empty());
    EXPECT_EQ(CountContaining(lines, "OnRecvNxZarCenterStartMsg"), 0u);
    EXPECT_EQ(CountContaining(lines, "RestoreDpi)"), 0u)
        << "the start-up recovery found nothing to restore, and 0x6F0005 was not handled";
    EXPECT_EQ(registry.GetDword(HKEY_USERS, kUserDpi, L"needRestore"), 1u);
}

INSTANTIATE_TEST_SUITE_P(LateHandlers, PluginStartupMessagesTest,
                         ::testing::Values(LateMessage{"RestoreDpi", 0x6F0005, ""},
                                           LateMessage{"CenterStart", 0x6F0006, "4242"},
                                           LateMessage{"CenterQuit", 0x150059, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PluginEndToEndTest, MessageCenterWatchedOnceIsAnnouncedOnceWhenItEnds) {
    processes().Start(L"NxReVadiru.exe");  // nothing to recover
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    StartPlugin();
    ASSERT_TRUE(machine().WaitForBlocked(1));
    WaitForRunningThreads(1);

    Deliver(kMessageCenterModule, 0x6F0001, "");
    WaitForRunningThreads(1);
    EXPECT_EQ(machine().BlockedCount(), 1u);
    EXPECT_TRUE(Contains(LogLines(), "3 [VuVidazi] already monitor thread VLAMessageCenter.exe" +
                                         std::string(kMonitorBody)));

    machine().ClearJournal();
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    // Three notices in order, then the tray helper with the ended center's id;
    // no quit signal to the helper and no recovery.
    std::vector<std::string> effects;
    for (const auto& line : machine().JournalLines({"post", "process", "event", "registry"})) {
        const size_t cmd = line.find(" cmd=<");
        if (cmd != std::string::npos) {
            effects.push_back("start " + line.substr(cmd + 6, line.find("> dir=") - cmd - 6));
        } else if (line.rfind("process: ended", 0) != 0) {
            effects.push_back(line);
        }
    }
    EXPECT_EQ(effects, (std::vector<std::string>{
                           "post: 0x20000 0x22711 \"quit_mainframe\"",
                           "post: 0x530000 0x22711 \"\"",
                           "post: 0xb955f0 0x6f0007 \"\"",
                           "start NxTrayWndHelper.exe RefreshNotifyIcon " + std::to_string(center),
                       }));
    EXPECT_EQ(LogLines().back(), "3 [VuVidazi] exit msgcenter monitor thread VLAMessageCenter.exe" +
                                     std::string(kMonitorBody));

    // The guard is down again: the next request watches (and finds no center).
    Deliver(kMessageCenterModule, 0x6F0001, "");
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(LogLines().back(),
              "4 [VuVidazi] processHandle is nullptr(NxReVadiruService::Impl::WaitForProcessExit)");
}

TEST_F(PluginEndToEndTest, LateHandlersAnswerTheirIds) {
    processes().Start(L"NxReVadiru.exe");  // nothing to recover
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    registry.SetDword(HKEY_USERS, kUserDpi, L"needRestore", 1);
    registry.SetDword(HKEY_USERS, kUserDpi, L"restoreDpi", 150);
    Deliver(kMessageCenterModule, 0x6F0005, "");
    EXPECT_EQ(registry.GetDword(HKEY_USERS, kUserDpi, L"needRestore"), 0u);
    // The user's quit of the center, on its own id, is reported.
    Deliver(kMessageCenterModule, 0x150059, "");
    EXPECT_EQ(Journal("usage"),
              std::vector<std::string>{"992612907 ZarExitType=1 ZarLaunchType=-1"});
}

// --- the host stops and destroys the plug-in while its threads still run -----

constexpr int32_t kCenterModule = 0x150000;
constexpr char kStartupCenterBody[] =
    "(NxReVadiruService::Impl::StartMonitorZarCenterThread::MonitorBody)";
constexpr char kAnnouncedCenterBody[] =
    "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody)";
constexpr char kLauncher[] = "(NxReVadiruService::Impl::StartNxZarCenter)";
const std::string kCenterRequest = "post: 0x30000 0x30003 \"Silent\" len=7 type=0";

std::string ForceStopLine(const char* body) {
    return "log: 3 [VuVidazi] force stop monitor thread " + std::string(body);
}
std::string ProcessEndWaitLine(const char* image) {
    return "log: 3 [VuVidazi] wait " + std::string(image) +
           " exit, waitCode=0(NxReVadiruService::Impl::WaitForProcessExit)";
}
std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Destroyed while every watch waits, stopped first or not: the plug-in leaves
// the bus at once and handles nothing more.
class PluginDestroyedWhileWatchesWaitTest : public PluginEndToEndTest,
                                            public ::testing::WithParamInterface<bool> {};

TEST_P(PluginDestroyedWhileWatchesWaitTest, EachWatchOnlyForceStops) {
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    const uint32_t messageCenter = processes().Start(L"VLAMessageCenter.exe");
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    StartPlugin();
    Deliver(kHelperModule, 0x6F0002, "1 " + std::to_string(helper));
    Deliver(kCenterModule, 0x6F0006, std::to_string(center));
    // The message center's, the helper's, and the center's from start-up and as announced.
    ASSERT_TRUE(machine().WaitForBlocked(4));
    if (GetParam()) {
        plugin->Stop();
    }
    plugin.reset();
    EXPECT_FALSE(bus().IsConnected(kPluginModule));
    machine().ClearJournal();

    Deliver(kMessageCenterModule, 0x6F0003, "5");
    for (const uint32_t process : {helper, messageCenter, center}) {
        processes().End(process);
    }
    ASSERT_TRUE(machine().WaitForThreads());
    // No handler, no recovery, no notices, no quit signal: each watch logs its
    // wait's end and that it was stopped; the announced center's exit is still
    // reported.
    EXPECT_EQ(Sorted(machine().JournalLines(
                  {"log", "event", "registry", "hid", "audio", "post", "publish", "usage"})),
              Sorted({
                  "post: 0x6f0000 0x6f0003 \"5\"",
                  ProcessEndWaitLine("NxReVadiru.exe"),
                  ForceStopLine(kMonitorBody),
                  ProcessEndWaitLine("VLAMessageCenter.exe"),
                  ForceStopLine(kMonitorBody),
                  ProcessEndWaitLine("NxZarCenter.exe"),
                  ForceStopLine(kStartupCenterBody),
                  "log: 3 [VuVidazi] exit, waitCode=0" + std::string(kAnnouncedCenterBody),
                  "usage: 992612907 ZarExitType=0 ZarLaunchType=-1",
                  ForceStopLine(kAnnouncedCenterBody),
              }));
    EXPECT_EQ(CountContaining(machine().JournalLines({"process"}), "Create"), 0u)
        << "no tray helper";
}

INSTANTIATE_TEST_SUITE_P(Destroyed, PluginDestroyedWhileWatchesWaitTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "StoppedFirst" : "WithoutStop";
                         });

// The launcher that follows a center's end keeps running after a stop, waiting
// on the start event it took or pausing between requests; once the plug-in is
// destroyed it asks for nothing more.
struct LauncherAtStop {
    const char* name;
    int deadlinesPassed;  // virtual deadlines between the center's end and the stop
    bool destroyed;
    std::vector<uint64_t> requests;  // after the center's end, in virtual ms
    uint64_t runMs;
};

class PluginStoppedDuringLauncherTest : public PluginEndToEndTest,
                                        public ::testing::WithParamInterface<LauncherAtStop> {};

TEST_P(PluginStoppedDuringLauncherTest, LauncherGoesOnUntilThePluginIsDestroyed) {
    const LauncherAtStop& expected = GetParam();
    processes().Start(L"NxReVadiru.exe");
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    Deliver(kCenterModule, 0x6F0006, std::to_string(center));
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(center);
    // Only the launcher waits on the clock.
    ASSERT_TRUE(machine().WaitForParked(1));
    ASSERT_TRUE(Contains(LogLines(), "3 [VuVidazi] Start NxZarCenter." + std::string(kLauncher)));
    const uint64_t centerEnded = machine().Now();
    for (int passed = 0; passed < expected.deadlinesPassed; ++passed) {
        machine().AdvanceToNextDeadline();
        ASSERT_TRUE(machine().WaitForParked(1));
    }
    plugin->Stop();
    if (expected.destroyed) {
        plugin.reset();
    }
    {
        const simtest::ClockDriver clock(machine());
        ASSERT_TRUE(machine().WaitForThreads());
    }

    std::vector<uint64_t> requests;
    for (const auto& entry : machine().Journal()) {
        if (entry.kind == "post" && "post: " + entry.text == kCenterRequest) {
            requests.push_back(entry.time - centerEnded);
        }
    }
    EXPECT_EQ(requests, expected.requests);
    EXPECT_EQ(machine().Now() - centerEnded, expected.runMs) << "the whole run";
    EXPECT_TRUE(Contains(LogLines(), "3 [VuVidazi] exit, waitCode=258" + std::string(kLauncher)))
        << "the event taken before the stop stays usable until the wait ends";
}

INSTANTIATE_TEST_SUITE_P(
    Stops, PluginStoppedDuringLauncherTest,
    ::testing::Values(
        LauncherAtStop{"StoppedWhileWaiting", 0, false, {180000, 300000, 420000}, 540000},
        LauncherAtStop{"DestroyedWhileWaiting", 0, true, {}, 180000},
        LauncherAtStop{"DestroyedWhilePausing", 1, true, {180000}, 300000}),
    [](const ::testing::TestParamInfo<LauncherAtStop>& info) { return info.param.name; });

}  // namespace
