// The service host stops, destroys and unloads the real plug-in while its
// threads wait; the programs they watch end afterwards, and the host lives on.
#include "IPCMessageClient.h"
#include "ModulePaths.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/UniqueHandle.h"
#include "support/ChildProcess.h"
#include "support/Polling.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace {

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
        std::error_code error;
        fs::copy_file(fs::path(ExecutableDirectory()) / L"sleeper.exe", copy_.Path(),
                      fs::copy_options::overwrite_existing, error);
        if (!error) {
            process_ = StartWithStdHandles(L"\"" + copy_.Path().wstring() + L"\" 600000", nullptr,
                                           nullptr);
        }
    }
    ~WatchedProgram() { End(); }
    WatchedProgram(const WatchedProgram&) = delete;
    WatchedProgram& operator=(const WatchedProgram&) = delete;

    bool IsRunning() const { return static_cast<bool>(process_); }
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
    const ScratchFile transcript(L"nx-service-host-test.txt");
    const auto said = [&](const std::string& line) {
        // Real time under Wine: a process start and the plug-in's start-up checks take seconds.
        return PollUntil([&] { return HasLine(transcript.Path(), line); }, std::chrono::minutes(1));
    };
    ServiceHostRun service(L"", transcript.Path());
    ASSERT_TRUE(service.IsStarted()) << "error " << GetLastError();
    ASSERT_TRUE(said("service: 1 plug-in(s) running")) << ReadFileText(transcript.Path());

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
    service.RequestStop();
    ASSERT_TRUE(said("service: plug-ins stopped"));
    constexpr DWORD kFreeLibraryMarginMs = 500;
    Sleep(kFreeLibraryMarginMs);
    for (WatchedProgram* program : {&helper, &messageCenter, &center}) {
        program->End();
    }

    EXPECT_EQ(service.Finish(), std::optional<DWORD>(0)) << ReadFileText(transcript.Path());
    for (const std::string& line : {expected.unloadLine, std::string("service: stopped cleanly")}) {
        EXPECT_TRUE(HasLine(transcript.Path(), line)) << line << "\n"
                                                      << ReadFileText(transcript.Path());
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
