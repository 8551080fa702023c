// Loads the real plug-in library the way the host does, with and without the
// plug-in manager already in the process, and drives plug-ins through the real
// manager library.
#include "BusBroker.h"
#include "FaultReport.h"
#include "ModuleExport.h"
#include "ModulePaths.h"
#include "PluginsManagerLibrary.h"
#include "win32/UniqueAny.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <optional>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr wchar_t kPluginFile[] = L"NxReVadiruServicePlugin.dll";
const std::string kPluginName = "VLAMainService.NxReVadiruServicePlugin";
using Lines = std::vector<std::string>;

bool ManagerIsLoaded() {
    return GetModuleHandleW(PluginsManagerLibrary::kFileName) != nullptr;
}

// A fault on a thread the plug-in left behind ends this program visibly, as it
// would end a host process on Windows (see FaultReport.h).
class UnhandledFaultsEndTheProgram : public ::testing::Environment {
public:
    void SetUp() override { ReportUnhandledFaults(); }
};

[[maybe_unused]] ::testing::Environment* const unhandledFaults =
    ::testing::AddGlobalTestEnvironment(new UnhandledFaultsEndTheProgram);

// The manager's lines, gathered through its log sink.
class ManagerLog {
public:
    static void Sink(const char* line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(line);
    }
    static Lines Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(lines_, {});
    }

private:
    static inline std::mutex mutex_;
    static inline Lines lines_;
};

// The host's order: the manager is in the process before any plug-in library.
class ManagerLoadedFirst : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ManagerIsLoaded());
        manager_ = PluginsManagerLibrary::Load();
        ASSERT_TRUE(manager_.has_value()) << "error " << GetLastError();
        manager_->SetLogSink(&ManagerLog::Sink);
        ManagerLog::Take();
    }
    void TearDown() override {
        if (manager_) {
            manager_->SetLogSink(nullptr);
            manager_->Unload();
        }
        // Nothing but this fixture held a reference to the manager.
        EXPECT_FALSE(ManagerIsLoaded());
    }

    std::optional<PluginsManagerLibrary> manager_;
};

TEST_F(ManagerLoadedFirst, PluginExportsRegistersRunsOnTheBusAndTakesItsTableBackAtUnload) {
    // The plug-in connects to the host's fixed pipe; the Wine prefix is private
    // to the build, so nothing else owns it.
    BusBroker broker(L"\\\\.\\Pipe\\iVellumAssistant");
    ASSERT_TRUE(broker.Start());
    // The plug-in's start-up checks log; not beside the tests.
    const ScratchFile pluginLog(L"nx-plugin-load.log");
    const ScopedVariable logVariable(L"NX_LOG_FILE", pluginLog.Path());
    UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    ASSERT_TRUE(plugin) << "error " << GetLastError();
    // The host calls these when present; the service host's scenarios call them.
    EXPECT_NE(ModuleExport<bool (*)()>(plugin, "InitializePluginModule"), nullptr);
    EXPECT_NE(ModuleExport<void (*)()>(plugin, "UninitializePluginModule"), nullptr);
    EXPECT_EQ(manager_->PluginNames(), Lines{kPluginName});

    EXPECT_EQ(manager_->StartPlugins(), 1u);
    manager_->StopPlugins();
    plugin.reset();
    // The plug-in's threads may hold the library for a moment; none may run
    // its code once it is gone: one left behind faults, and ends the
    // program, when it wakes up.
    constexpr DWORD kUnloadTimeoutMs = 5000;
    constexpr DWORD kStrayThreadGraceMs = 1000;
    EXPECT_TRUE(WaitUntilUnloaded(kPluginFile, kUnloadTimeoutMs));
    Sleep(kStrayThreadGraceMs);
    broker.Stop();

    EXPECT_EQ(manager_->PluginNames(), Lines{});
    EXPECT_EQ(ManagerLog::Take(),
              (Lines{"manager: registered " + kPluginName, "manager: started " + kPluginName,
                     "manager: stopped " + kPluginName, "manager: unregistered " + kPluginName}));
}

// A manager may release the plug-in object when the library takes its table
// back, inside the detach notification, under the loader lock, stopped first or
// not, while a bus handler is in flight or none is: the host must still go on
// at once and end in seconds (unloadprobe.exe, on a live bus). A started
// plug-in keeps its library until it stops: the host's unload only gives back
// the host's reference, and the hand-back waits for the process's exit.
// Runs the probe and gives its lines; it must end, with 0, within seconds.
Lines RunProbe(const std::wstring& arguments) {
    const ScratchFile transcript(L"nx-unload-probe.txt");
    ServiceHostRun probe(arguments, transcript.Path(), L"unloadprobe.exe");
    EXPECT_TRUE(probe.IsStarted());
    constexpr DWORD kEndsWithinMs = 15000;
    const std::optional<DWORD> exitCode = probe.Finish(kEndsWithinMs);
    const std::string output = ReadFileText(transcript.Path());
    EXPECT_EQ(exitCode, std::optional<DWORD>(0)) << output;
    return SplitLines(output);
}

// Strings, not pointers: GoogleTest prints a pointer's address in the list.
using ProbeRun = std::tuple<std::wstring, std::wstring>;
class ManagerReleasesAtUnregistration : public ::testing::TestWithParam<ProbeRun> {};

TEST_P(ManagerReleasesAtUnregistration, TheHostGoesOnAndEndsInSeconds) {
    const auto [manager, scenario] = GetParam();
    const Lines unloaded{"probe: FreeLibrary returned", "probe: library still loaded",
                         "probe: host goes on"};
    Lines expected{"probe: plug-in started"};
    if (scenario != L"unload") {
        expected.push_back("probe: handler held");
    }
    if (scenario == L"held-exit") {
        expected.push_back("probe: process exits");
    } else {
        expected.insert(expected.end(), unloaded.begin(), unloaded.end());
    }
    EXPECT_EQ(RunProbe(manager + L" " + scenario), expected);
}

INSTANTIATE_TEST_SUITE_P(Manager, ManagerReleasesAtUnregistration,
                         ::testing::Combine(::testing::Values(L"stop", L"release"),
                                            ::testing::Values(L"unload", L"held-unload",
                                                              L"held-exit")),
                         [](const ::testing::TestParamInfo<ProbeRun>& info) {
                             std::wstring name =
                                 std::get<0>(info.param) + L"_" + std::get<1>(info.param);
                             std::erase(name, L'-');
                             return std::string(name.begin(), name.end());
                         });

// Loading, starting, stopping and unloading the plug-in again and again leaves
// the host's handles and threads as they were.
TEST(PluginReload, LeavesNoHandleAndNoThreadBehind) {
    EXPECT_EQ(
        RunProbe(L"stop reload"),
        (Lines{"probe: plug-in started", "probe: 10 reloads left 0 handles and 0 threads behind"}));
}

}  // namespace
