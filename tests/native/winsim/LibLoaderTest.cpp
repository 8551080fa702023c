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
    void AddManager(bool loaded) {
        winsim::ModuleSpec manager;
        manager.path = kManagerPath;
        manager.exports["RegisterPlugin"] = reinterpret_cast<void*>(&RegisterPluginStub);
        manager.loaded = loaded;
        machine().AddModule(manager);
    }
};

TEST_F(SimLibLoaderTest, LoadAndFreeCountAndAreJournalledInOrder) {
    AddManager(false);
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager.dll"), nullptr);

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

TEST_F(SimLibLoaderTest, ModuleLoadedByTheProcessStaysLoadedAfterABalancedFree) {
    AddManager(true);
    const HMODULE already = GetModuleHandleW(L"VLAPluginsManager.dll");
    ASSERT_NE(already, nullptr);
    EXPECT_EQ(LoadLibraryW(L"VLAPluginsManager.dll"), already);
    EXPECT_TRUE(FreeLibrary(already));
    EXPECT_EQ(GetModuleHandleW(L"VLAPluginsManager.dll"), already);
    EXPECT_EQ(machine().ModuleLoadCount(L"VLAPluginsManager.dll"), 1);
}

TEST_F(SimLibLoaderTest, ExportsAreFoundByExactName) {
    AddManager(true);
    const HMODULE manager = GetModuleHandleW(L"VLAPluginsManager.dll");
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(manager, "RegisterPlugin")),
              reinterpret_cast<void*>(&RegisterPluginStub));
    for (const char* missing : {"registerplugin", "UnRegisterPlugin", ""}) {
        SCOPED_TRACE(missing);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetProcAddress(manager, missing), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    }
}

TEST_F(SimLibLoaderTest, ModuleWithTheSameNameElsewhereIsNotLoadedByPath) {
    AddManager(false);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryW(L"C:\\Elsewhere\\VLAPluginsManager.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(Journal("module").empty());
}

TEST_F(SimLibLoaderTest, ExecutableIsFoundByNameAndCannotBeUnloaded) {
    const HMODULE executable = GetModuleHandleW(nullptr);
    EXPECT_EQ(GetModuleHandleW(L"vlamainservice.exe"), executable);
    EXPECT_TRUE(FreeLibrary(executable));
    EXPECT_EQ(GetModuleHandleW(nullptr), executable);
}

struct FileNameCase {
    DWORD size;
    DWORD result;
    DWORD lastError;
    std::wstring text;
};

TEST_F(SimLibLoaderTest, ModuleFileNameIsTruncatedWithATerminatorAsWindowsDoes) {
    const std::wstring path = simtest::kServiceExecutable;
    const auto length = static_cast<DWORD>(path.size());
    const DWORD untouched = 0xBEEF;
    const FileNameCase cases[] = {
        {MAX_PATH, length, untouched, path},
        {length + 1, length, untouched, path},
        {length, length, ERROR_INSUFFICIENT_BUFFER, path.substr(0, length - 1)},
        {3, 3, ERROR_INSUFFICIENT_BUFFER, L"C:"},
        {1, 1, ERROR_INSUFFICIENT_BUFFER, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<WCHAR> buffer(MAX_PATH, L'#');
        SetLastError(untouched);
        EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result);
        EXPECT_EQ(GetLastError(), c.lastError);
        EXPECT_EQ(std::wstring(buffer.data()), c.text);
    }
}

}  // namespace
