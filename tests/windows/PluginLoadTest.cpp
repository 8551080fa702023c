// Loads the real plug-in library the way a host does and unloads it the hard
// way; the service host's scenarios load it through the real manager.
#include "FaultReport.h"
#include "ModuleExport.h"
#include "ModulePaths.h"
#include "win32/UniqueAny.h"
#include "support/ServiceHostRun.h"
#include "support/TestFiles.h"
#include "support/TextLines.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr wchar_t kPluginFile[] = L"NxReVadiruServicePlugin.dll";
using Lines = std::vector<std::string>;

// A fault on a thread the plug-in left behind ends this program visibly, as it
// would end a host process on Windows (see FaultReport.h).
class UnhandledFaultsEndTheProgram : public ::testing::Environment {
public:
    void SetUp() override { ReportUnhandledFaults(); }
};

[[maybe_unused]] ::testing::Environment* const unhandledFaults =
    ::testing::AddGlobalTestEnvironment(new UnhandledFaultsEndTheProgram);

// The host calls these when present: the service host's scenarios would not
// notice their absence.
TEST(PluginLibrary, ExportsTheModuleFunctions) {
    const UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    ASSERT_TRUE(plugin) << "error " << GetLastError();
    EXPECT_NE(ModuleExport<bool (*)()>(plugin, "InitializePluginModule"), nullptr);
    EXPECT_NE(ModuleExport<void (*)()>(plugin, "UninitializePluginModule"), nullptr);
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
        (Lines{"probe: plug-in started", "probe: reloads left no handle and no thread behind"}));
}

}  // namespace
