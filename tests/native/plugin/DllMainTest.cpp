// The library entry point hands the registration table to the host's plug-in
// manager at attach and takes it back at detach, loading the manager from the
// host's directory only when the host has not.
#include "plugin/DllEntry.h"
#include "plugin/PluginTable.h"
#include "support/SimTest.h"

#include <string>
#include <vector>

namespace {

constexpr wchar_t kManagerPath[] = L"C:\\Program Files\\DeskSuite\\VLAPluginsManager.dll";
constexpr wchar_t kManagerName[] = L"VLAPluginsManager.dll";

// What the fake manager was handed, in order ("register" / "unregister").
std::vector<std::pair<std::string, const PluginRegistrationEntry*>>& Calls() {
    static std::vector<std::pair<std::string, const PluginRegistrationEntry*>> calls;
    return calls;
}
void FakeRegisterPlugin(const PluginRegistrationEntry* table) {
    Calls().emplace_back("register", table);
}
void FakeUnRegisterPlugin(const PluginRegistrationEntry* table) {
    Calls().emplace_back("unregister", table);
}

enum class Manager { AlreadyLoaded, OnDisk, Missing };
// What the entry point does with the manager's library itself.
enum class Load { None, Fails, AndRelease };

struct EntryCase {
    const char* name;
    DWORD reason;
    Manager manager;
    bool withExports;
    const char* failingFunction;  // nullptr: no fault
    BOOL expectedResult;
    const char* expectedCall;  // nullptr: the manager is not called
    Load load;
    const wchar_t* executable = simtest::kServiceExecutable;
};

class DllMainTest : public SimTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(DllMainTest, HandsTheTableToTheManager) {
    const EntryCase& test = GetParam();
    Calls().clear();
    machine().SetExecutablePath(test.executable);
    if (test.manager != Manager::Missing) {
        winsim::ModuleSpec manager;
        manager.path = kManagerPath;
        manager.loaded = test.manager == Manager::AlreadyLoaded;
        if (test.withExports) {
            manager.exports["RegisterPlugin"] = reinterpret_cast<void*>(&FakeRegisterPlugin);
            manager.exports["UnRegisterPlugin"] = reinterpret_cast<void*>(&FakeUnRegisterPlugin);
        }
        machine().AddModule(manager);
    }
    if (test.failingFunction != nullptr) {
        machine().Fail(test.failingFunction, ERROR_GEN_FAILURE);
    }
    const int loadCountBefore = machine().ModuleLoadCount(kManagerName);

    EXPECT_EQ(DllMain(nullptr, test.reason, nullptr), test.expectedResult);

    if (test.expectedCall == nullptr) {
        EXPECT_TRUE(Calls().empty());
    } else {
        ASSERT_EQ(Calls().size(), 1u);
        EXPECT_EQ(Calls()[0].first, test.expectedCall);
        EXPECT_EQ(Calls()[0].second, &PluginRegistrationTable[0]);
        // The name the host knows the plug-in by.
        EXPECT_EQ(PluginRegistrationTable[0].name, "VLAMainService.NxReVadiruServicePlugin");
    }
    // Always by its full path: a bare name would search directories a user may write to.
    const std::string load = "LoadLibraryW " + winsim::Narrow(kManagerPath);
    const std::vector<std::string> journals[] = {
        {}, {load}, {load, "FreeLibrary VLAPluginsManager.dll"}};
    EXPECT_EQ(Journal("module"), journals[static_cast<int>(test.load)]);
    // A manager the entry point loaded is released again; the host's is left alone.
    EXPECT_EQ(machine().ModuleLoadCount(kManagerName), loadCountBefore);
}

constexpr DWORD kAttach = DLL_PROCESS_ATTACH;
constexpr DWORD kDetach = DLL_PROCESS_DETACH;
constexpr Manager kLoaded = Manager::AlreadyLoaded;
constexpr Manager kOnDisk = Manager::OnDisk;

// Detach shares attach's way to the manager; its rows only show that nothing fails it.
INSTANTIATE_TEST_SUITE_P(
    Reasons, DllMainTest,
    ::testing::Values(EntryCase{"AttachWithHostsManager", kAttach, kLoaded, true, nullptr, TRUE,
                                "register", Load::None},
                      EntryCase{"AttachLoadsAndReleasesManager", kAttach, kOnDisk, true, nullptr,
                                TRUE, "register", Load::AndRelease},
                      EntryCase{"AttachWithoutRegisterExport", kAttach, kOnDisk, false, nullptr,
                                FALSE, nullptr, Load::AndRelease},
                      EntryCase{"AttachWithoutManager", kAttach, Manager::Missing, true, nullptr,
                                FALSE, nullptr, Load::Fails},
                      EntryCase{"AttachExecutablePathFails", kAttach, kOnDisk, true,
                                "GetModuleFileNameW", FALSE, nullptr, Load::None},
                      EntryCase{"AttachPathStripFails", kAttach, kOnDisk, true,
                                "PathCchRemoveFileSpec", FALSE, nullptr, Load::None},
                      // Nothing to strip from a root (S_FALSE): no directory to load from.
                      EntryCase{"AttachFromARoot", kAttach, kOnDisk, true, nullptr, FALSE, nullptr,
                                Load::None, L"C:\\"},
                      EntryCase{"DetachLoadsAndReleasesManager", kDetach, kOnDisk, true, nullptr,
                                TRUE, "unregister", Load::AndRelease},
                      EntryCase{"DetachWithoutUnRegisterExport", kDetach, kLoaded, false, nullptr,
                                TRUE, nullptr, Load::None},
                      EntryCase{"DetachWithoutManager", kDetach, Manager::Missing, true, nullptr,
                                TRUE, nullptr, Load::Fails},
                      EntryCase{"ThreadAttachDoesNothing", DLL_THREAD_ATTACH, kLoaded, true,
                                nullptr, TRUE, nullptr, Load::None},
                      EntryCase{"ThreadDetachDoesNothing", DLL_THREAD_DETACH, kLoaded, true,
                                nullptr, TRUE, nullptr, Load::None}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

}  // namespace
