// The library entry point hands the registration table to the host's plug-in
// manager at attach and takes it back at detach, loading the manager from the
// host's directory when the host has not.
#include "plugin/DllEntry.h"
#include "plugin/PluginTable.h"
#include "support/SimTest.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using Call = std::pair<std::string, const PluginRegistrationEntry*>;

// What the fake manager was handed, in order.
std::vector<Call>& Calls() {
    static std::vector<Call> calls;
    return calls;
}
void FakeRegisterPlugin(const PluginRegistrationEntry* table) {
    Calls().emplace_back("register", table);
}
void FakeUnRegisterPlugin(const PluginRegistrationEntry* table) {
    Calls().emplace_back("unregister", table);
}

using DllMainTest = SimTest;

// A manager at `path` that records what it is handed; `loaded`: by the host.
void AddManager(winsim::Machine& machine, const wchar_t* path, bool loaded = false) {
    Calls().clear();
    machine.AddModule(
        {.path = path,
         .exports = {{"RegisterPlugin", reinterpret_cast<void*>(&FakeRegisterPlugin)},
                     {"UnRegisterPlugin", reinterpret_cast<void*>(&FakeUnRegisterPlugin)}},
         .loaded = loaded});
}

TEST_F(DllMainTest, AttachAndDetachEachLoadTheManagerHandItTheTableAndReleaseIt) {
    constexpr wchar_t kManagerPath[] = L"C:\\Program Files\\DeskSuite\\VLAPluginsManager.dll";
    AddManager(machine(), kManagerPath);

    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);

    EXPECT_EQ(Calls(), (std::vector<Call>{{"register", &PluginRegistrationTable[0]},
                                          {"unregister", &PluginRegistrationTable[0]}}));
    // The name the host knows the plug-in by.
    EXPECT_EQ(PluginRegistrationTable[0].name, "VLAMainService.NxReVadiruServicePlugin");
    // Always by its full path: a bare name would search directories a user may write to.
    const std::string load = "LoadLibraryW " + winsim::Narrow(kManagerPath);
    const std::string release = "FreeLibrary VLAPluginsManager.dll";
    EXPECT_EQ(Journal("module"), (std::vector<std::string>{load, release, load, release}));
    EXPECT_EQ(machine().ModuleLoadCount(L"VLAPluginsManager.dll"), 0);
}

// The manager the host loaded first is used as is, neither loaded again nor released.
TEST_F(DllMainTest, ManagerTheHostLoadedIsUsedAsIs) {
    AddManager(machine(), L"C:\\Program Files\\DeskSuite\\VLAPluginsManager.dll", true);
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Journal("module"), std::vector<std::string>{});
    EXPECT_EQ(machine().ModuleLoadCount(L"VLAPluginsManager.dll"), 1);
}

// A path with nothing to strip (the root of a share) is not a directory the
// manager can be loaded from, even where a manager lies beside it.
TEST_F(DllMainTest, AttachFailsWhenTheExecutablePathHasNothingToStrip) {
    machine().SetExecutablePath(L"\\\\server\\share");
    AddManager(machine(), L"\\\\server\\share\\VLAPluginsManager.dll");
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(Journal("module"), std::vector<std::string>{});
}

}  // namespace
