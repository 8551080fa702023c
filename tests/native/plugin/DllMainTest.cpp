// The library entry point hands the registration table to the host's plug-in
// manager at attach and takes it back at detach, loading the manager from the
// host's directory only when the host has not.
#include "plugin/DllEntry.h"
#include "plugin/ModuleExports.h"
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

struct EntryCase {
    const char* name;
    DWORD reason;
    Manager manager;
    bool withExports;
    const char* failingFunction;  // nullptr: no fault
    BOOL expectedResult;
    const char* expectedCall;  // nullptr: the manager is not called
    std::vector<std::string> expectedModuleJournal;
};

class DllMainTest : public SimTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(DllMainTest, HandsTheTableToTheManager) {
    const EntryCase& test = GetParam();
    Calls().clear();
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
    }
    EXPECT_EQ(Journal("module"), test.expectedModuleJournal);
    // A manager the entry point loaded is released again; the host's is left alone.
    EXPECT_EQ(machine().ModuleLoadCount(kManagerName), loadCountBefore);
}

const std::vector<std::string> kLoadedAndReleased = {"LoadLibraryW VLAPluginsManager.dll",
                                                     "FreeLibrary VLAPluginsManager.dll"};

INSTANTIATE_TEST_SUITE_P(
    Reasons, DllMainTest,
    ::testing::Values(
        EntryCase{"AttachWithHostsManager",
                  DLL_PROCESS_ATTACH,
                  Manager::AlreadyLoaded,
                  true,
                  nullptr,
                  TRUE,
                  "register",
                  {}},
        EntryCase{"AttachLoadsAndReleasesManager", DLL_PROCESS_ATTACH, Manager::OnDisk, true,
                  nullptr, TRUE, "register", kLoadedAndReleased},
        EntryCase{"AttachWithoutRegisterExport", DLL_PROCESS_ATTACH, Manager::OnDisk, false,
                  nullptr, FALSE, nullptr, kLoadedAndReleased},
        EntryCase{"AttachWithoutManager",
                  DLL_PROCESS_ATTACH,
                  Manager::Missing,
                  true,
                  nullptr,
                  FALSE,
                  nullptr,
                  {}},
        EntryCase{"AttachExecutablePathFails",
                  DLL_PROCESS_ATTACH,
                  Manager::OnDisk,
                  true,
                  "GetModuleFileNameW",
                  FALSE,
                  nullptr,
                  {}},
        EntryCase{"AttachPathStripFails",
                  DLL_PROCESS_ATTACH,
                  Manager::OnDisk,
                  true,
                  "PathCchRemoveFileSpec",
                  FALSE,
                  nullptr,
                  {}},
        EntryCase{"AttachLoadFails",
                  DLL_PROCESS_ATTACH,
                  Manager::OnDisk,
                  true,
                  "LoadLibraryW",
                  FALSE,
                  nullptr,
                  {}},
        // The host's manager not found by name is loaded (again) from disk.
        EntryCase{"AttachModuleLookupFails", DLL_PROCESS_ATTACH, Manager::AlreadyLoaded, true,
                  "GetModuleHandleW", TRUE, "register", kLoadedAndReleased},
        EntryCase{"AttachExportLookupFails", DLL_PROCESS_ATTACH, Manager::OnDisk, true,
                  "GetProcAddress", FALSE, nullptr, kLoadedAndReleased},
        EntryCase{"DetachWithHostsManager",
                  DLL_PROCESS_DETACH,
                  Manager::AlreadyLoaded,
                  true,
                  nullptr,
                  TRUE,
                  "unregister",
                  {}},
        EntryCase{"DetachLoadsAndReleasesManager", DLL_PROCESS_DETACH, Manager::OnDisk, true,
                  nullptr, TRUE, "unregister", kLoadedAndReleased},
        EntryCase{"DetachWithoutUnRegisterExport",
                  DLL_PROCESS_DETACH,
                  Manager::AlreadyLoaded,
                  false,
                  nullptr,
                  TRUE,
                  nullptr,
                  {}},
        EntryCase{"DetachWithoutManager",
                  DLL_PROCESS_DETACH,
                  Manager::Missing,
                  true,
                  nullptr,
                  TRUE,
                  nullptr,
                  {}},
        EntryCase{"DetachExecutablePathFails",
                  DLL_PROCESS_DETACH,
                  Manager::OnDisk,
                  true,
                  "GetModuleFileNameW",
                  TRUE,
                  nullptr,
                  {}},
        EntryCase{"DetachPathStripFails",
                  DLL_PROCESS_DETACH,
                  Manager::OnDisk,
                  true,
                  "PathCchRemoveFileSpec",
                  TRUE,
                  nullptr,
                  {}},
        EntryCase{"ThreadAttachDoesNothing",
                  DLL_THREAD_ATTACH,
                  Manager::AlreadyLoaded,
                  true,
                  nullptr,
                  TRUE,
                  nullptr,
                  {}},
        EntryCase{"ThreadDetachDoesNothing",
                  DLL_THREAD_DETACH,
                  Manager::AlreadyLoaded,
                  true,
                  nullptr,
                  TRUE,
                  nullptr,
                  {}}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.name; });

TEST(PluginTableTest, NamesThePluginAndEndsWithAnEmptyEntry) {
    EXPECT_EQ(PluginRegistrationTable[0].name, "VLAMainService.NxReVadiruServicePlugin");
    EXPECT_TRUE(static_cast<bool>(PluginRegistrationTable[0].factory));
    EXPECT_TRUE(PluginRegistrationTable[1].name.empty());
    EXPECT_FALSE(static_cast<bool>(PluginRegistrationTable[1].factory));
}

TEST(ModuleExportsTest, InitializeAlwaysSucceeds) {
    EXPECT_TRUE(InitializePluginModule());
    UninitializePluginModule();
    EXPECT_TRUE(InitializePluginModule());
}

}  // namespace
