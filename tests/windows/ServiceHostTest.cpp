// Runs VLAMainService.exe as a child process, asks it to stop through its
// standard input, and checks the steps it reports and its exit code.
#include "IPCMessageClient.h"
#include "ModulePaths.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/UniqueHandle.h"
#include "support/Polling.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;
// Real time under Wine: a process start and the plug-in's start-up checks take seconds.
constexpr milliseconds kStepTimeout{60000};
constexpr wchar_t kTestPipe[] = L"\\\\.\\Pipe\\NxServiceHostTest";
const std::string kTestPipeText = "\\\\.\\Pipe\\NxServiceHostTest";

struct ServiceRun {
    std::optional<DWORD> exitCode;  // nothing when it had to be terminated
    Lines output;
};

// The service host with its transcript in a scratch file of its own.
class ServiceProcess {
public:
    explicit ServiceProcess(const std::wstring& arguments) : run_(arguments, transcript_.Path()) {}

    bool IsStarted() const { return run_.IsStarted(); }
    // Asks the host to stop, as the end of its input does.
    void CloseInput() { run_.RequestStop(); }

    bool WaitForLine(const std::string& line) const {
        return PollUntil([&] { return HasLine(transcript_.Path(), line); }, kStepTimeout);
    }

    // Stops the host (terminating it when it does not end) and collects
    // everything it wrote.
    ServiceRun Finish() {
        ServiceRun run;
        run.exitCode = run_.Finish();
        run.output = SplitLines(ReadFileText(transcript_.Path()));
        return run;
    }

private:
    const ScratchFile transcript_{L"nx-service-host-test.txt"};
    ServiceHostRun run_;
};

std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

struct CleanRun {
    const char* title;
    std::wstring options;
    Lines afterLoad;  // what the host says of the plug-in right after loading it
};

class ServiceHostRuns : public ::testing::TestWithParam<CleanRun> {};

TEST_P(ServiceHostRuns, ThePluginUntilItsInputClosesThenStopsInReverseOrder) {
    ServiceProcess service(std::wstring(L"--pipe ") + kTestPipe + GetParam().options);
    ASSERT_TRUE(service.IsStarted()) << "error " << GetLastError();
    ASSERT_TRUE(service.WaitForLine("service: press Ctrl+C or close the standard input to stop"))
        << Joined(service.Finish().output);

    const ServiceRun run = service.Finish();
    EXPECT_EQ(run.exitCode, std::optional<DWORD>(0));
    Lines expected = {"service: bus broker listening on " + kTestPipeText,
                      "service: loaded VLAPluginsManager.dll",
                      "manager: registered VLAMainService.NxReVadiruServicePlugin"};
    expected.insert(expected.end(), GetParam().afterLoad.begin(), GetParam().afterLoad.end());
    expected.insert(
        expected.end(),
        {"service: loaded NxReVadiruServicePlugin.dll",
         "manager: started VLAMainService.NxReVadiruServicePlugin", "service: 1 plug-in(s) running",
         "service: press Ctrl+C or close the standard input to stop",
         "service: stopping (standard input closed)",
         "manager: stopped VLAMainService.NxReVadiruServicePlugin", "service: plug-ins stopped",
         "manager: unregistered VLAMainService.NxReVadiruServicePlugin",
         "service: unloaded NxReVadiruServicePlugin.dll", "service: unloaded VLAPluginsManager.dll",
         "service: bus broker stopped", "service: stopped cleanly"});
    EXPECT_EQ(run.output, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ServiceHostRuns,
    ::testing::Values(
        CleanRun{"AsOnAUsersPc", L"", {}},
        CleanRun{"WithFasterTimedWaits",
                 L" --clock-speed 40",
                 {"service: timed waits of NxReVadiruServicePlugin.dll pass 40 times faster"}}),
    [](const ::testing::TestParamInfo<CleanRun>& info) { return info.param.title; });

// --- the plug-in stopped, destroyed and unloaded while its threads wait -----

namespace fs = std::filesystem;

// The plug-in connects only to the host's fixed pipe; the Wine prefix is
// private to the build, so nothing else owns it.
constexpr wchar_t kHostPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr int32_t kPluginModule = 0x6F0000;
constexpr int32_t kTestModule = 0x7E0000;
constexpr char kForceStop[] = "[VuVidazi] force stop monitor thread ";

// A copy of sleeper.exe in the temporary directory under a watched program's
// name, running until ended.
class WatchedProgram {
public:
    explicit WatchedProgram(const wchar_t* imageName) : copy_(imageName) {
        constexpr wchar_t kLongEnough[] = L" 600000";
        std::error_code error;
        fs::copy_file(fs::path(ExecutableDirectory()) / L"sleeper.exe", copy_.Path(),
                      fs::copy_options::overwrite_existing, error);
        std::wstring commandLine = L"\"" + copy_.Path().wstring() + L"\"" + kLongEnough;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION created{};
        if (!error && CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                     nullptr, nullptr, &startup, &created)) {
            const UniqueHandle thread(created.hThread);
            process_.reset(created.hProcess);
            id_ = created.dwProcessId;
        }
    }
    ~WatchedProgram() { End(); }
    WatchedProgram(const WatchedProgram&) = delete;
    WatchedProgram& operator=(const WatchedProgram&) = delete;

    bool IsRunning() const { return static_cast<bool>(process_); }
    std::string Id() const { return std::to_string(id_); }
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
    DWORD id_ = 0;
};

size_t CountOccurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

struct ThreadsAtUnload {
    const char* title;
    bool launcherSleeps;  // a center ended before the stop, so the launcher pauses for minutes
    std::string unloadLine;
};

class ServiceHostUnloadsThePlugin : public ::testing::TestWithParam<ThreadsAtUnload> {};

TEST_P(ServiceHostUnloadsThePlugin, WhileItsThreadsWaitAndLivesOnWhenTheWatchedProgramsEnd) {
    const ThreadsAtUnload& expected = GetParam();
    const ScratchFile pluginLog(L"nx-unload-plugin.log");
    const ScopedVariable logVariable(L"NX_LOG_FILE", pluginLog.Path());
    const auto logged = [&](const std::string& text) {
        return PollUntil(
            [&] { return ReadFileText(pluginLog.Path()).find(text) != std::string::npos; });
    };
    // Running before the plug-in starts, so that its start-up watches find them.
    WatchedProgram helper(L"NxReVadiru.exe");
    WatchedProgram messageCenter(L"VLAMessageCenter.exe");
    WatchedProgram center(L"NxZarCenter.exe");
    WatchedProgram endedCenter(L"nx-ended-center.exe");
    for (const WatchedProgram* program : {&helper, &messageCenter, &center, &endedCenter}) {
        ASSERT_TRUE(program->IsRunning());
    }
    ServiceProcess service(L"");
    ASSERT_TRUE(service.IsStarted()) << "error " << GetLastError();
    ASSERT_TRUE(service.WaitForLine("service: 1 plug-in(s) running"))
        << Joined(service.Finish().output);

    // A second message-center start is refused while the start-up watch
    // waits: once that is logged the plug-in hears this client.
    BusConnection bus(kTestModule, false, false, kHostPipe);
    ASSERT_TRUE(PollUntil([&] {
        PostBusMessage(bus, kPluginModule, 0x6F0001, "");
        return ReadFileText(pluginLog.Path()).find("already monitor thread") != std::string::npos;
    })) << ReadFileText(pluginLog.Path());
    PostBusMessage(bus, kPluginModule, 0x6F0002, "1 " + helper.Id());
    PostBusMessage(bus, kPluginModule, 0x6F0006, center.Id());
    ASSERT_TRUE(logged("enter monitor thread NxReVadiru.exe"));
    ASSERT_TRUE(logged("processId:" + center.Id() + "processHandle:"));
    if (expected.launcherSleeps) {
        PostBusMessage(bus, kPluginModule, 0x6F0006, endedCenter.Id());
        ASSERT_TRUE(logged("processId:" + endedCenter.Id() + "processHandle:"));
        endedCenter.End();
        ASSERT_TRUE(logged("[VuVidazi] Start NxZarCenter."));
    }

    // Stop, destroy and FreeLibrary come in one go once the input closes;
    // the watched programs end after the host has let the library go.
    service.CloseInput();
    ASSERT_TRUE(service.WaitForLine("service: plug-ins stopped"));
    constexpr DWORD kFreeLibraryMarginMs = 500;
    Sleep(kFreeLibraryMarginMs);
    for (WatchedProgram* program : {&helper, &messageCenter, &center}) {
        program->End();
    }

    const ServiceRun run = service.Finish();
    EXPECT_EQ(run.exitCode, std::optional<DWORD>(0)) << Joined(run.output);
    for (const std::string& line : {expected.unloadLine, std::string("service: stopped cleanly")}) {
        EXPECT_NE(std::find(run.output.begin(), run.output.end(), line), run.output.end())
            << line << "\n"
            << Joined(run.output);
    }
    // The helper's, the message center's, and the center's from start-up and as announced.
    const std::string log = ReadFileText(pluginLog.Path());
    EXPECT_EQ(CountOccurrences(log, kForceStop), 4u) << log;
    EXPECT_EQ(CountOccurrences(log, "ReleaseKeyBoard"), expected.launcherSleeps ? 1u : 0u)
        << "only the center that ended before the stop is cleaned up after";
}

INSTANTIATE_TEST_SUITE_P(
    Threads, ServiceHostUnloadsThePlugin,
    ::testing::Values(
        // The last watch to leave unloads the library on its way out.
        ThreadsAtUnload{"WatchesOnly", false, "service: unloaded NxReVadiruServicePlugin.dll"},
        // The launcher keeps it loaded until the host process ends.
        ThreadsAtUnload{"WatchesAndASleepingLauncher", true,
                        "service: NxReVadiruServicePlugin.dll is still loaded after 5000 ms"}),
    [](const ::testing::TestParamInfo<ThreadsAtUnload>& info) { return info.param.title; });

}  // namespace
