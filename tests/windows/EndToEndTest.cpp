// The whole product side by side under Wine: the service host loads the real
// plug-in through the manager on the host's own pipe, stand-in programs play
// the helper and the collaboration center, and the test
// watches what a user or another module could see: registry values, how
// programs were started, bus traffic and the plug-in's log.
//
// The plug-in's bus pipe is compiled in, so these tests own the host's pipe
// while they run; CTest runs them in a program of their own (see
// tests/CMakeLists.txt).
#include "HostFiles.h"
#include "ModulePaths.h"
#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"
#include "support/BusObserver.h"
#include "support/ChildProcess.h"
#include "support/NamedRows.h"
#include "wait/PollUntil.h"
#include "support/ScratchKey.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"

#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr wchar_t kHostPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr char kMonitorBody[] = "(NxReVadiruService::Impl::StartMonitorThread::MonitorBody)";
constexpr char kWaitForExit[] = "(NxReVadiruService::Impl::WaitForProcessExit)";
const std::vector<std::wstring> kStandIns = {L"NxReVadiru.exe", L"VLAMessageCenter.exe",
                                             L"NxZarCenter.exe"};

fs::path BesideTests(const wchar_t* name) {
    return fs::path(ExecutableDirectory()) / name;
}

// The plug-in's log file as "<level> <text>" lines, without time and thread.
Lines PluginLog(const fs::path& file) {
    Lines lines;
    for (const std::string& line : SplitLines(ReadFileText(file))) {
        const size_t level = line.find('[');
        const size_t text = line.find("] ", line.find("] [", level) + 3);
        if (level != std::string::npos && text != std::string::npos) {
            lines.push_back(line.substr(level + 1, line.find(']', level) - level - 1) + " " +
                            line.substr(text + 2));
        }
    }
    return lines;
}

// `expected` appears in `lines` in this order, other lines between them allowed.
bool ContainsInOrder(const Lines& lines, const Lines& expected) {
    auto next = lines.begin();
    for (const std::string& line : expected) {
        next = std::find(next, lines.end(), line);
        if (next == lines.end()) {
            return false;
        }
        ++next;
    }
    return true;
}

// The command lines a stand-in recorded, one per start (see StartRecord.h).
Lines RecordedCommandLines(const fs::path& record) {
    const Lines lines = SplitLines(ReadFileText(record));
    Lines commandLines;
    for (size_t i = 0; i < lines.size(); i += 2) {
        commandLines.push_back(lines[i]);
    }
    return commandLines;
}

UniqueHandle StartStandIn(const std::wstring& arguments) {
    return StartWithStdHandles(L"\"" + ExecutableDirectory() + L"\\" + arguments, nullptr, nullptr);
}

// Ends every stand-in still running, so that none outlives its scenario.
void EndStandIns() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (std::find(kStandIns.begin(), kStandIns.end(), entry.szExeFile) == kStandIns.end()) {
            continue;
        }
        const UniqueHandle process(
            OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process && TerminateProcess(process.get(), 1)) {
            WaitForSingleObject(process.get(), 5000);
        }
    }
}

// The console user's SID, read from that user's token: the hive the test
// checks must not come from the plug-in's own lookup (by the user's name).
std::wstring ConsoleUserSid() {
    UniqueHandle token;
    DWORD size = 0;
    if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), token.put()) ||
        (GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size), size == 0)) {
        return {};
    }
    std::vector<BYTE> user(size);
    LocalPtr<WCHAR> text;
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, text.put())) {
        return {};
    }
    return text.get();
}

// What every scenario shares: the plug-in's log and the stand-ins' records in
// files of their own, the console user's keys, and a running service host.
class EndToEndTest : public ::testing::Test {
protected:
    EndToEndTest()
        : sid_(ConsoleUserSid()),
          setting_(HKEY_USERS, sid_ + L"\\SOFTWARE\\Norvane\\DeskSuite\\setting"),
          restore_(HKEY_USERS, sid_ + L"\\SOFTWARE\\DeskSuite\\NxReVadiru"),
          driver_(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Norvane\\DeskSuite\\NxReVadiru") {
        EndStandIns();
    }
    ~EndToEndTest() override { EndStandIns(); }

    void SetUp() override {
        ASSERT_FALSE(sid_.empty());
        setting_.Track({L"nxExcreenRunning", L"pcmute", L"AudioPos"});
        restore_.Track({L"needRestore", L"restoreDpi"});
    }

    // Starts the host (once a test) with `options` and waits until the plug-in runs and is on
    // the bus (its connection may come after its start, and a post to a module
    // not yet on the bus is dropped); the log so far is the plug-in's start.
    void StartHost(const std::wstring& options = L"") {
        host_ = std::make_unique<ServiceHostRun>(options, transcript_.Path());
        ASSERT_TRUE(host_->IsStarted()) << "error " << GetLastError();
        ASSERT_TRUE(PollUntil([&] {
            return HasLine(transcript_.Path(), "service: 1 plug-in(s) running") &&
                   Logged("3 [BusBroker] module 0x6f0000 connected");
        })) << ReadFileText(transcript_.Path());
        startLines_ = PluginLog(pluginLog_.Path()).size();
    }

    // Stops the host while the stand-ins run on and starts it again, its
    // plug-in held (see restart/StartGate.cpp) until `module` is back on the
    // bus; the log from then on is the restart's. Seconds: the old plug-in's
    // watches hold its library until the host gives up on unloading it. The
    // new plug-in may still be starting when this returns.
    void RestartHostOnceBack(const std::string& module) {
        EXPECT_EQ(host_->Finish(), std::optional<DWORD>(0));
        startLines_ = PluginLog(pluginLog_.Path()).size();
        const UniqueHandle gate(CreateEventW(nullptr, TRUE, FALSE, L"nx-e2e-start-gate"));
        host_ = std::make_unique<ServiceHostRun>(L"nx-start-gate.dll NxReVadiruServicePlugin.dll",
                                                 transcript_.Path());
        const std::string back = "3 [BusBroker] module " + module + " connected";
        EXPECT_TRUE(PollUntil([&] { return Logged(back); })) << back;
        SetEvent(gate.get());
    }

    // Stops the host; stand-ins still running are ended once the plug-in has
    // stopped, so that its watches let go of its library.
    void StopHost() {
        host_->RequestStop();
        EXPECT_TRUE(
            PollUntil([&] { return HasLine(transcript_.Path(), "service: plug-ins stopped"); }));
        // Time for the host to let the library go: stop, destroy and FreeLibrary come in one go.
        constexpr DWORD kFreeLibraryMarginMs = 500;
        Sleep(kFreeLibraryMarginMs);
        EndStandIns();
        EXPECT_EQ(host_->Finish(), std::optional<DWORD>(0));
        // The plug-in holds no reference on the manager, whatever became of its own library.
        EXPECT_TRUE(ContainsInOrder(
            SplitLines(ReadFileText(transcript_.Path())),
            {"service: unloaded VLAPluginsManager.dll", "service: stopped cleanly"}))
            << ReadFileText(transcript_.Path());
    }

    // The plug-in's log lines written after its start.
    Lines SessionLog() const {
        Lines log = PluginLog(pluginLog_.Path());
        log.erase(log.begin(),
                  log.begin() + static_cast<std::ptrdiff_t>(std::min(startLines_, log.size())));
        return log;
    }

    bool Logged(const std::string& line) const {
        const Lines lines = SessionLog();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // Observers for the given modules, each on the bus.
    void Observe(const std::vector<int32_t>& modules) {
        for (const int32_t module : modules) {
            observers_[module] = std::make_unique<BusObserver>(module, kHostPipe);
            ASSERT_TRUE(WaitUntilOnBus(observers_[module]->Client(), module))
                << "module " << std::hex << module;
        }
    }

    // What each observed module received, once it has `expected`'s count.
    std::map<int32_t, Lines> Received(const std::map<int32_t, Lines>& expected) const {
        std::map<int32_t, Lines> received;
        for (const auto& [module, entries] : expected) {
            const BusObserver& observer = *observers_.at(module);
            PollUntil([&] { return observer.Entries().size() >= entries.size(); });
            received[module] = observer.Entries();
        }
        return received;
    }

    const std::wstring sid_;
    ScratchKey setting_;
    ScratchKey restore_;
    ScratchKey driver_;
    const ScratchFile pluginLog_{L"nx-e2e-plugin.log"};
    const ScratchFile usageEvents_{L"nx-e2e-usage.log"};
    const ScratchFile transcript_{L"nx-e2e-host.txt"};
    const ScopedVariable logVariable_{L"NX_LOG_FILE", pluginLog_.Path()};
    const ScopedVariable usageVariable_{L"NX_USAGE_EVENT_FILE", usageEvents_.Path()};
    // Programs the plug-in starts in the user's session do not get this test's
    // variables, so every stand-in records beside itself.
    const ScratchFile helperRecord_{BesideTests(L"NxReVadiru.txt")};
    const ScratchFile centerRecord_{BesideTests(L"NxZarCenter.txt")};
    const ScratchFile centerHelperRecord_{BesideTests(L"NxZarCenterHelper.txt")};
    std::unique_ptr<ServiceHostRun> host_;
    size_t startLines_ = 0;
    std::map<int32_t, std::unique_ptr<BusObserver>> observers_;
};

// The helper's session runs on while the host is stopped and started again:
// the restarted plug-in finds the helper running, so it puts nothing back at
// its start, and learns which helper to watch only from the helper's answer to
// its query. The helper then crashes and the PC is put right.
TEST_F(EndToEndTest, HelperCrashAfterARestartInASessionIsPutRight) {
    restore_.Create();  // as the product's set-up leaves it, for the screen values to be kept
    StartHost();
    // Held so that the quit signal, raised after the helper is gone, can be seen.
    const UniqueHandle quitSignal(CreateEventW(nullptr, FALSE, FALSE, L"NxReVadiru.exe"));
    const UniqueHandle helper = StartStandIn(L"NxReVadiru.exe\" session");
    ASSERT_TRUE(helper) << "error " << GetLastError();
    const std::string pid = std::to_string(GetProcessId(helper.get()));
    ASSERT_TRUE(PollUntil([&] {
        return Logged("3 [VuVidazi] mode:1,processId:" + pid +
                      "(NxReVadiruService::Impl::OnRecvNxRevadiruStartMsg)");
    })) << ::testing::PrintToString(SessionLog());

    RestartHostOnceBack("0x690000");
    // What the session leaves behind: the helper's running flag and a driver to switch off.
    setting_.Set(L"nxExcreenRunning", 1);
    driver_.Set(L"DriverState", 1);
    Observe({0x590000});
    const std::string answered = "3 [VuVidazi] nxrevadiruProcessId:" + pid +
                                 "(NxReVadiruService::Impl::OnRecvNxRevadiruPidMsg)";
    ASSERT_TRUE(PollUntil([&] { return Logged(answered); }))
        << ::testing::PrintToString(SessionLog());
    // The watch it starts opens the helper at once.
    Sleep(1000);

    ASSERT_TRUE(TerminateProcess(helper.get(), 0xC0000005));
    EXPECT_EQ(WaitForSingleObject(quitSignal.get(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(PollUntil([&] {
        return Logged(std::string("3 [VuVidazi] exit monitor thread NxReVadiru.exe") +
                      kMonitorBody);
    })) << ::testing::PrintToString(SessionLog());

    // The recovery's steps and their order are the native suite's; here, the
    // real wait's result, and no recovery at the restart.
    const Lines log = SessionLog();
    EXPECT_TRUE(
        Logged(std::string("3 [VuVidazi] wait NxReVadiru.exe exit, waitCode=0") + kWaitForExit));
    EXPECT_EQ(
        std::ranges::count(log, "3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)"), 1)
        << ::testing::PrintToString(log);
    EXPECT_EQ(Received({{0x590000, {}}}), (std::map<int32_t, Lines>{{0x590000, {"590003 "}}}));
    EXPECT_EQ(setting_.Get(L"nxExcreenRunning"), std::optional<DWORD>(0));
    // The scaling to restore, 150 before the session, was in the old plug-in's
    // memory only: the restarted one leaves it pending in the user's hive
    // until the restore message, which starts the helper's "setdpi" with it.
    // Wine shows no scaling in force, so the handler's last step clears the flag.
    EXPECT_EQ(restore_.Get(L"restoreDpi"), std::optional<DWORD>(150));
    EXPECT_EQ(restore_.Get(L"needRestore"), std::optional<DWORD>(1));
    observers_.at(0x590000)->Client().PostIPCMessage(BusItem(0x6F0000, 0x6F0005, ""));
    // The helper records the command once it runs, beside the plug-in going on.
    EXPECT_TRUE(PollUntil([&] {
        return RecordedCommandLines(helperRecord_.Path()).size() == 3 &&
               restore_.Get(L"needRestore") == 0u;
    }));
    EXPECT_EQ(RecordedCommandLines(helperRecord_.Path()),
              (Lines{"\"" + ToUtf8(ExecutableDirectory()) + "\\NxReVadiru.exe\" session",
                     "NxReVadiru.exe disable", "NxReVadiru.exe setdpi 150 0"}));
    StopHost();
}

// The launcher's minutes pass in seconds: a 4.5 s wait for the center to come
// back by itself, then 3 s pauses after each start request, long enough for
// Wine to start the center and for it to announce itself.
constexpr wchar_t kFastClock[] = L"--clock-speed 40";
constexpr char kAnnounced[] = "(NxReVadiruService::Impl::OnRecvNxZarCenterStartMsg::MonitorBody)";
constexpr char kLauncher[] = "(NxReVadiruService::Impl::StartNxZarCenter)";

// The process id in the announced watch's "processId:<id>processHandle:<handle>"
// lines, in the order they were logged.
Lines WatchedCenterIds(const Lines& log) {
    const std::string prefix = "3 [VuVidazi] processId:";
    Lines ids;
    for (const std::string& line : log) {
        if (line.starts_with(prefix)) {
            ids.push_back(line.substr(prefix.size(), line.find("processHandle:") - prefix.size()));
        }
    }
    return ids;
}

TEST_F(EndToEndTest, EndedCenterIsCleanedUpAfterAndAskedBackFromTheHost) {
    StartHost(kFastClock);
    // The clean-up's receivers (the host's module that starts the center is its own).
    Observe({0x20000, 0x270000, 0x40000});

    const UniqueHandle center = StartStandIn(L"NxZarCenter.exe\"");
    ASSERT_TRUE(center) << "error " << GetLastError();
    const std::string pid = std::to_string(GetProcessId(center.get()));
    ASSERT_TRUE(PollUntil([&] { return WatchedCenterIds(SessionLog()) == Lines{pid}; }))
        << ::testing::PrintToString(SessionLog());

    ASSERT_TRUE(TerminateProcess(center.get(), 1));
    const std::string stoodDown =
        std::string("3 [VuVidazi] step1, stop start NxZarCenter.0") + kLauncher;
    ASSERT_TRUE(PollUntil([&] { return Logged(stoodDown); }, std::chrono::seconds(60)))
        << ::testing::PrintToString(SessionLog());

    const Lines log = SessionLog();
    const Lines watched = WatchedCenterIds(log);
    ASSERT_EQ(watched.size(), 2u) << ::testing::PrintToString(log);
    // The center asked back is the one now watched, and it runs.
    const UniqueHandle askedBack(
        OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(watched[1]))));
    ASSERT_TRUE(askedBack) << "error " << GetLastError();
    EXPECT_EQ(WaitForSingleObject(askedBack.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(std::ranges::count(
                  log, std::string("3 [VuVidazi] step1, post ipc startup zarCenter.") + kLauncher),
              1)
        << ::testing::PrintToString(log);

    // Every module hears the exit announcement first.
    const std::string published = "b90004 ZAR_SERVICE_UNINIT_ADV_NAME";
    const std::map<int32_t, Lines> expected = {{0x20000, {published, "22711 quit_zarCenter"}},
                                               {0x270000, {published, "150059 "}},
                                               {0x40000, {published, "150059 "}}};
    EXPECT_EQ(Received(expected), expected);
    EXPECT_TRUE(HasLine(transcript_.Path(), "host: starting NxZarCenter.exe"))
        << ReadFileText(transcript_.Path());
    ASSERT_TRUE(
        PollUntil([&] { return !RecordedCommandLines(centerHelperRecord_.Path()).empty(); }));
    EXPECT_EQ(RecordedCommandLines(centerHelperRecord_.Path()),
              Lines{ToUtf8(ExecutableDirectory()) + "\\NxZarCenterHelper.exe RefreshNotifyIcon"});
    StopHost();
    // The center asked back was still watched: the stop ends that watch only.
    EXPECT_TRUE(PollUntil([&] {
        return Logged(std::string("3 [VuVidazi] force stop monitor thread ") + kAnnounced);
    })) << ::testing::PrintToString(SessionLog());
}

// --- the plug-in stopped, destroyed and unloaded while its threads wait -----

// A copy of sleeper.exe under a watched program's name, running until ended.
class WatchedProgram {
public:
    explicit WatchedProgram(const wchar_t* imageName) : copy_(imageName) {
        std::error_code error;
        fs::copy_file(BesideTests(L"sleeper.exe"), copy_.Path(),
                      fs::copy_options::overwrite_existing, error);
        if (!error) {
            process_ = StartWithStdHandles(L"\"" + copy_.Path().wstring() + L"\" 600000", nullptr,
                                           nullptr);
        }
    }
    ~WatchedProgram() { End(); }

    std::string Id() const { return std::to_string(GetProcessId(process_.get())); }
    void End() {
        if (process_) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), INFINITE);
            process_.reset();
        }
    }

private:
    ScratchFile copy_;
    UniqueHandle process_;
};

struct ThreadsAtUnload : testrows::Named {
    bool launcherSleeps;  // a center ended before the stop, so the launcher pauses for minutes
    Lines unloadLines;    // the host's, in order
};

class UnloadWhileThreadsWait : public EndToEndTest,
                               public ::testing::WithParamInterface<ThreadsAtUnload> {};

TEST_P(UnloadWhileThreadsWait, HostLivesOnWhenTheWatchedProgramsEndAfterwards) {
    const ThreadsAtUnload& expected = GetParam();
    // Running before the plug-in starts, so that its start-up watches find them.
    WatchedProgram helper(L"NxReVadiru.exe");
    WatchedProgram messageCenter(L"VLAMessageCenter.exe");
    WatchedProgram center(L"NxZarCenter.exe");
    WatchedProgram endedCenter(L"nx-ended-center.exe");
    StartHost();
    constexpr int32_t kTestModule = 0x7E0000;
    Observe({kTestModule});
    IPCMessageClient& bus = observers_.at(kTestModule)->Client();
    const auto post = [&](int32_t msgId, const std::string& body) {
        bus.PostIPCMessage(BusItem(0x6F0000, msgId, body));
    };
    // A second message-center start is refused while the start-up watch waits.
    post(0x6F0001, "");
    post(0x6F0002, "1 " + helper.Id());
    post(0x6F0006, center.Id());
    ASSERT_TRUE(PollUntil([&] {
        return Logged(std::string("3 [VuVidazi] already monitor thread VLAMessageCenter.exe") +
                      kMonitorBody) &&
               Logged(std::string("3 [VuVidazi] enter monitor thread NxReVadiru.exe") +
                      kMonitorBody) &&
               WatchedCenterIds(SessionLog()) == Lines{center.Id()};
    })) << ::testing::PrintToString(SessionLog());
    if (expected.launcherSleeps) {
        post(0x6F0006, endedCenter.Id());
        ASSERT_TRUE(PollUntil([&] { return WatchedCenterIds(SessionLog()).size() == 2; }));
        endedCenter.End();
        ASSERT_TRUE(PollUntil(
            [&] { return Logged(std::string("3 [VuVidazi] Start NxZarCenter.") + kLauncher); }));
    }

    // The watched programs end once the host has let the library go.
    StopHost();
    EXPECT_TRUE(ContainsInOrder(SplitLines(ReadFileText(transcript_.Path())), expected.unloadLines))
        << ReadFileText(transcript_.Path());
    // The helper's, the message center's, and the center's from start-up and as announced.
    const Lines log = SessionLog();
    const auto forceStop = [](const std::string& line) {
        return line.starts_with("3 [VuVidazi] force stop monitor thread ");
    };
    EXPECT_EQ(std::ranges::count_if(log, forceStop), 4) << ::testing::PrintToString(log);
    EXPECT_EQ(
        std::ranges::count(log, "3 ReleaseKeyBoard(NxReVadiruService::Impl::ReleaseKeyboard)"),
        expected.launcherSleeps ? 1 : 0)
        << "only the center that ended before the stop is cleaned up after";
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, UnloadWhileThreadsWait,
    ::testing::Values(
        // The last watch to leave unloads the library on its way out, and the
        // library takes its table back from the manager then.
        ThreadsAtUnload{"WatchesOnly",
                        false,
                        {"manager: unregistered VLAMainService.NxReVadiruServicePlugin",
                         "service: unloaded NxReVadiruServicePlugin.dll"}},
        // The launcher keeps it loaded until the host process ends.
        ThreadsAtUnload{"SleepingLauncher",
                        true,
                        {"service: NxReVadiruServicePlugin.dll is still loaded after 5000 ms"}}),
    testrows::RowName());

}  // namespace
