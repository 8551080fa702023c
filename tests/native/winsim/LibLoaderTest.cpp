// Modules: load counts, the journal of loads and frees, lookups by name or
// path, and the executable's path as Windows reports it.
#include "support/SimTest.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kManagerPath = L"C:\\Program Files\\DeskSuite\\VLAPluginsManager.dll";

int RegisterPluginStub(const void*) {
    return 1;
}

class SimLibLoaderTest : public SimTest {
protected:
    void AddManager() {
        winsim::ModuleSpec manager;
        manager.path = kManagerPath;
        manager.exports["RegisterPlugin"] = reinterpret_cast<void*>(&RegisterPluginStub);
        machine().AddModule(manager);
    }
};

TEST_F(SimLibLoaderTest, LoadAndFreeCountAndAreJournalledInOrder) {
    AddManager();
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager.dll"), nullptr);
    // A path names one file: the same name elsewhere is not this module.
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryW(L"C:\\Elsewhere\\VLAPluginsManager.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    const HMODULE byPath = LoadLibraryW(kManagerPath);
    ASSERT_NE(byPath, nullptr);
    const HMODULE byName = LoadLibraryW(L"vlapluginsmanager.DLL");
    EXPECT_EQ(byName, byPath);
    EXPECT_EQ(machine().ModuleLoadCount(L"VLAPluginsManager.dll"), 2);
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager"), byPath);

    EXPECT_TRUE(FreeLibrary(byName));
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager.dll"), byPath);
    EXPECT_TRUE(FreeLibrary(byPath));
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager.dll"), nullptr);
    EXPECT_EQ(machine().ModuleLoadCount(L"VLAPluginsManager.dll"), 0);

    // An unloaded module's handle no longer works.
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(FreeLibrary(byPath));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(GetProcAddress(byPath, "RegisterPlugin"), nullptr);

    EXPECT_EQ(Journal("module"), (std::vector<std::string>{
                                     "LoadLibraryW VLAPluginsManager.dll",
                                     "LoadLibraryW VLAPluginsManager.dll",
                                     "FreeLibrary VLAPluginsManager.dll",
                                     "FreeLibrary VLAPluginsManager.dll",
                                 }));
}

TEST_F(SimLibLoaderTest, ExecutableIsFoundByNameAndCannotBeUnloaded) {
    const HMODULE executable = GetModuleHandleW(nullptr);
    EXPECT_EQ(GetModuleHandleW(L"vlamainservice.exe"), executable);
    EXPECT_TRUE(FreeLibrary(executable));
    EXPECT_EQ(GetModuleHandleW(nullptr), executable);
}

// The conformance suite accepts Wine's unterminated copy too; the simulation
// must end the text as Windows does, down to a one-unit buffer.
TEST_F(SimLibLoaderTest, ModuleFileNameIsTruncatedWithATerminatorAsWindowsDoes) {
    const std::wstring path = simtest::kServiceExecutable;
    const auto length = static_cast<DWORD>(path.size());
    for (const DWORD size : {length, DWORD{1}}) {
        SCOPED_TRACE(size);
        std::vector<WCHAR> buffer(MAX_PATH, L'#');
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), size), size);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(std::wstring(buffer.data()), path.substr(0, size - 1));
    }
}

}  // namespace
