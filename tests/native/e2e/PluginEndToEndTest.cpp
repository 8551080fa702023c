// The whole plug-in as the host runs it: created by the registration table's
// factory, started and stopped, and driven only through the bus and the
// processes of the simulated PC.
#include "PluginModule.h"
#include "plugin/PluginTable.h"
#include "support/ClockDriver.h"
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"
#include "support/SimTest.h"

#include "NxLogger.h"

#include "SimulatedBus.h"
#include "wait/PollUntil.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using ::testing::Contains;

constexpr int32_t kPluginModule = 0x6F0000;
constexpr int32_t kHelperModule = 0x690000;
constexpr int32_t kMessageCenterModule = 0x20000;
constexpr int32_t kCenterModule = 0x150000;

constexpr char kMonitorBody[] = "NxReVadiruService::Impl::StartMonitorThread::MonitorBody";

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

    simbus::Bus& bus() { return machine().Extension<simbus::Bus>(); }

    // As the host does: the module, then the plug-in, each answering as the host expects.
    void StartPlugin() {
        EXPECT_TRUE(InitializePluginModule());
        plugin = PluginRegistrationTable[0].factory();
        ASSERT_TRUE(plugin);
        EXPECT_TRUE(bus().IsConnected(kPluginModule)) << "on the bus from its creation";
        EXPECT_FALSE(simbus::BusObserver(bus(), kPluginModule).Link()) << "nobody takes its id";
        EXPECT_TRUE(plugin->Initialize());
        EXPECT_TRUE(plugin->Start());
    }
    // What another module tells the plug-in, handled before this returns.
    void Deliver(int32_t sender, int32_t msgId, const std::string& body) {
        bus().Send(sender, kPluginModule, msgId, body);
        ASSERT_TRUE(bus().WaitIdle());
    }

    std::shared_ptr<VLAPlugin> plugin;
};

// The start-up checks with the helper running or gone. One that is gone left
// the PC as the session had it: the recovery runs first. Either way the
// start-up check deletes the driver's settings (the recovery's own deletion is
// refused, so that this one shows) and the helper is asked for its id last.
struct StartUpCase : testrows::Named {
    bool helperRunning;
};

class StartUpTest : public PluginEndToEndTest, public ::testing::WithParamInterface<StartUpCase> {};

TEST_P(StartUpTest, RecoversOnlyWithoutAHelperThenClearsTheSettingsAndAsksForTheId) {
    if (GetParam().helperRunning) {
        processes().Start(L"NxReVadiru.exe");
    } else {
        machine().Fail("RegDeleteTreeW", ERROR_ACCESS_DENIED);
    }
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    const auto cleared = DeletedKey(L"HKEY_LOCAL_MACHINE\\" + kIddSettings);
    EXPECT_THAT(machine().Journal(), Contains(cleared).Times(1));
    EXPECT_THAT(machine().Journal(),
                Contains(Posted(0x590000, 0x590003, "")).Times(GetParam().helperRunning ? 0 : 1));
    const auto recovered = SetUserValue(kSettingPath, L"nxExcreenRunning", 0);
    const auto asked = Posted(kHelperModule, 0x690022, "");
    EXPECT_THAT(machine().Journal(), GetParam().helperRunning ? InOrder(cleared, asked)
                                                              : InOrder(recovered, cleared, asked));
}

INSTANTIATE_TEST_SUITE_P(Helper, StartUpTest,
                         ::testing::Values(StartUpCase{"Running", true},
                                           StartUpCase{"Gone", false}),
                         testrows::RowName());

// While the start-up watch waits on the message center, further requests are
// refused and leave its guard alone; when the center ends, the notices and the
// tray helper go out once, and the next request watches again.
TEST_F(PluginEndToEndTest, MessageCenterEndIsAnnouncedOnceAndItsIconCleared) {
    processes().Start(L"NxReVadiru.exe");  // nothing to recover
    const uint32_t center = processes().Start(L"VLAMessageCenter.exe");
    StartPlugin();
    ASSERT_TRUE(machine().WaitForBlocked(1));
    for (int request = 0; request < 2; ++request) {
        Deliver(kMessageCenterModule, 0x6F0001, "");
        // Real time, bounded: the refused watch's thread ends by itself.
        PollUntil([&] { return machine().RunningThreads() <= 1; }, std::chrono::seconds(10));
        ASSERT_EQ(machine().RunningThreads(), 1u);
    }
    processes().End(center);
    ASSERT_TRUE(machine().WaitForThreads());
    const auto tray =
        StartedAsConsoleUser(L"NxTrayWndHelper.exe RefreshNotifyIcon " + std::to_wstring(center));
    EXPECT_THAT(
        machine().Journal(),
        Contains(Logged(3, "[VuVidazi] already monitor thread VLAMessageCenter.exe", kMonitorBody))
            .Times(2));
    EXPECT_THAT(machine().Journal(),
                InOrder(Posted(0x20000, 0x22711, "quit_mainframe"), Posted(0x530000, 0x22711, ""),
                        Posted(0xB955F0, 0x6F0007, ""), tray,
                        Logged(3, "[VuVidazi] exit msgcenter monitor thread VLAMessageCenter.exe",
                               kMonitorBody)));
    EXPECT_THAT(machine().Journal(), Contains(tray).Times(1));
    EXPECT_THAT(machine().Journal(), Not(Contains(Signalled("NxReVadiru.exe")))) << "no recovery";

    // The guard is down again: the next request watches (and finds no center).
    machine().ClearJournal();
    Deliver(kMessageCenterModule, 0x6F0001, "");
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_THAT(machine().Journal(),
                Contains(Logged(4, "[VuVidazi] processHandle is nullptr",
                                "NxReVadiruService::Impl::WaitForProcessExit")));
}

// A message that arrives while the start-up checks run (here: while the
// recovery at start waits for the disable command, in virtual time), again
// after Start() has returned and once more after Stop(), and what shows that
// it was handled: a log line or usage event that holds `handled`.
struct MessageAtStart : testrows::Named {
    int32_t msgId;
    const char* body;
    const char* handled;
    // How often that shows in all: early, the message is heard while the checks
    // run and after the start (2); late, after the start only (1). The
    // message center's watch at start adds one.
    int times;
};

class MessageAtStartTest : public PluginEndToEndTest,
                           public ::testing::WithParamInterface<MessageAtStart> {};

TEST_P(MessageAtStartTest, IsHeardWhileTheChecksRunOnlyIfRegisteredEarly) {
    const MessageAtStart& message = GetParam();
    registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", 1);
    processes().Register(L"cmd.exe", winsim::programs::RunsFor(1000));
    std::thread host([this] { StartPlugin(); });
    EXPECT_TRUE(machine().WaitForParked(2));  // the command and the recovery's wait for it
    EXPECT_THAT(machine().Journal(), Not(Contains(LogMentions("enter monitor thread"))))
        << "no watch starts before the recovery has run";
    const auto deliver = [&] {
        registry.SetDword(HKEY_USERS, kUserDpi, L"needRestore", 1);
        Deliver(kMessageCenterModule, message.msgId, message.body);
    };
    deliver();
    {
        const simtest::ClockDriver clock(machine());
        host.join();
    }
    deliver();
    plugin->Stop();
    deliver();  // no longer heard
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_TRUE(machine().OpenHandleKinds().empty()) << "the start event closed by the stop";
    EXPECT_THAT(machine().Journal(),
                Contains(::testing::AnyOf(LogMentions(message.handled),
                                          EntryIs("usage", ::testing::HasSubstr(message.handled))))
                    .Times(message.times));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageAtStartTest,
    ::testing::Values(
        MessageAtStart{"MessageCenter", 0x6F0001, "", "enter monitor thread VLA", 3},
        MessageAtStart{"HelperStart", 0x6F0002, "1 77", "enter monitor thread NxRe", 2},
        MessageAtStart{"HelperPid", 0x690022, "77", "enter monitor thread NxRe", 2},
        MessageAtStart{"TabTip", 0x6F0003, "5", "recv tabtip value 5", 2},
        MessageAtStart{"ScreenValues", 0x6F0004, "1 1 150 1 1 200", "get screen info", 2},
        MessageAtStart{"RestoreDpi", 0x6F0005, "", "restore value is", 1},
        MessageAtStart{"CenterStart", 0x6F0006, "", "message is null.", 1},
        MessageAtStart{"CenterQuit", 0x150059, "", "ZarExitType=1", 1}),
    testrows::RowName());

// A handler that throws (here: its log line cannot be written) is stopped at
// the bus thread's edge, which logs what it caught; the next message is handled.
TEST_F(PluginEndToEndTest, HandlerThatThrowsIsLoggedAtTheEdge) {
    processes().Start(L"NxReVadiru.exe");  // nothing to recover
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    machine().ClearJournal();
    const NxLogger::Sink previous = NxLogger::GetInstance().SetSink(
        [this](LOG_MESSAGE_LEVEL level, const std::wstring&, const std::wstring& text) {
            if (text.starts_with(L"recv tabtip value 5")) {
                throw std::runtime_error("disk full");
            }
            if (text.starts_with(L"recv tabtip value 6")) {
                throw 6;
            }
            machine().Record("log", std::to_string(level) + " " + winsim::Narrow(text));
        });
    for (const char* value : {"5", "6", "7"}) {
        Deliver(kMessageCenterModule, 0x6F0003, value);
    }
    NxLogger::GetInstance().SetSink(previous);
    const std::string edge = "(NxReVadiruService::Impl::RegisterHandlers)";
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{
                  "4 unhandled exception in handler of message 7274499: disk full" + edge,
                  "4 unhandled exception in handler of message 7274499" + edge,
                  "3 recv tabtip value 7(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"}));
}

// Destroyed while every watch waits: the plug-in leaves the bus at once and
// handles nothing more; each watch logs its wait's end and that it was
// stopped, and the announced center's exit is still reported.
TEST_F(PluginEndToEndTest, DestroyedWhileWatchesWaitEachWatchOnlyForceStops) {
    const uint32_t helper = processes().Start(L"NxReVadiru.exe");
    const uint32_t messageCenter = processes().Start(L"VLAMessageCenter.exe");
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    StartPlugin();
    Deliver(kHelperModule, 0x6F0002, "1 " + std::to_string(helper));
    Deliver(kCenterModule, 0x6F0006, std::to_string(center));
    // The message center's, the helper's, and the center's from start-up and as announced.
    ASSERT_TRUE(machine().WaitForBlocked(4));
    plugin.reset();
    EXPECT_FALSE(bus().IsConnected(kPluginModule));
    machine().ClearJournal();

    Deliver(kMessageCenterModule, 0x6F0003, "5");
    for (const uint32_t process : {helper, messageCenter, center}) {
        processes().End(process);
    }
    ASSERT_TRUE(machine().WaitForThreads());
    // Each watch's wait ends; none acts on it but the announced center's exit report.
    EXPECT_THAT(machine().Journal(), Contains(LogMentions("exit, waitCode=0")).Times(4));
    EXPECT_THAT(machine().Journal(), Contains(LogMentions("force stop monitor thread (")).Times(4));
    EXPECT_THAT(machine().JournalLines({"event", "registry", "hid", "audio", "post", "publish",
                                        "usage", "environment"}),
                ::testing::ElementsAre("post: 0x6f0000 0x6f0003 \"5\"",
                                       "usage: 992612907 ZarExitType=0 ZarLaunchType=-1"));
    EXPECT_THAT(Journal("process"), ::testing::Each(::testing::StartsWith("ended ")));
}

// A launcher in progress when the plug-in is destroyed, waiting for the center
// to come back or pausing after a request, ends at its next step (stopped
// only, it would go on asking for nine minutes).
class PluginDestroyedDuringLauncherTest : public PluginEndToEndTest,
                                          public ::testing::WithParamInterface<int> {};

TEST_P(PluginDestroyedDuringLauncherTest, EndsAtItsNextStep) {
    const int requestsBefore = GetParam();  // 0: while it waits; 1: while it pauses
    processes().Start(L"NxReVadiru.exe");
    StartPlugin();
    ASSERT_TRUE(machine().WaitForThreads());
    const uint32_t center = processes().Start(L"NxZarCenter.exe");
    Deliver(kCenterModule, 0x6F0006, std::to_string(center));
    ASSERT_TRUE(machine().WaitForBlocked(1));
    processes().End(center);
    const uint64_t centerEnded = machine().Now();
    for (int passed = 0; passed < requestsBefore; ++passed) {
        ASSERT_TRUE(machine().WaitForParked(1));  // only the launcher waits on the clock
        machine().AdvanceToNextDeadline();
    }
    ASSERT_TRUE(machine().WaitForParked(1));
    plugin->Stop();
    plugin.reset();
    {
        const simtest::ClockDriver clock(machine());
        ASSERT_TRUE(machine().WaitForThreads());
    }
    // The wait for the center, then a pause after each request.
    EXPECT_EQ(machine().Now() - centerEnded, requestsBefore == 0 ? 180000u : 300000u);
}

INSTANTIATE_TEST_SUITE_P(Destroyed, PluginDestroyedDuringLauncherTest, ::testing::Values(0, 1));

}  // namespace
