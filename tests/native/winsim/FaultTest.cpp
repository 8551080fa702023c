// Fault injection: each function fails by its Win32 name with the chosen
// error, for as many calls as asked.
#include "support/SimTest.h"

#include <windows.h>
#include <pathcch.h>
#include <shlwapi.h>

#include <functional>
#include <vector>

namespace {

using SimFaultTest = SimTest;

DWORD WINAPI ReturnAtOnce(LPVOID) {
    return 0;
}

// Each call cleans up after itself when it succeeds; it returns whether it failed.
struct FaultCase {
    const char* function;
    std::function<bool()> failed;
};

TEST_F(SimFaultTest, EveryFunctionFailsOnceWithTheInjectedError) {
    winsim::ModuleSpec library;
    library.path = L"C:\\Windows\\System32\\kernel32.dll";
    library.exports["GetTickCount"] = reinterpret_cast<void*>(&GetTickCount);
    library.loaded = true;
    machine().AddModule(library);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    HANDLE named = CreateEventW(nullptr, TRUE, FALSE, L"NxFaultEvent");
    HANDLE thread = CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    const auto closeIfOpen = [](HANDLE handle) {
        if (handle != nullptr) {
            CloseHandle(handle);
        }
        return handle == nullptr;
    };
    WCHAR path[MAX_PATH] = L"C:\\Host\\Service.exe";
    DWORD exitCode = 0;

    const FaultCase cases[] = {
        {"CreateEventW", [&] { return closeIfOpen(CreateEventW(nullptr, 0, 0, nullptr)); }},
        {"OpenEventW", [&] { return closeIfOpen(OpenEventW(SYNCHRONIZE, 0, L"NxFaultEvent")); }},
        {"SetEvent", [&] { return !SetEvent(named); }},
        {"ResetEvent", [&] { return !ResetEvent(named); }},
        {"WaitForSingleObject", [&] { return WaitForSingleObject(thread, 0) == WAIT_FAILED; }},
        {"CreateThread",
         [&] { return closeIfOpen(CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr)); }},
        {"GetExitCodeThread", [&] { return !GetExitCodeThread(thread, &exitCode); }},
        {"CloseHandle",
         [&] {
             HANDLE event = CreateEventW(nullptr, 0, 0, nullptr);
             const bool failed = !CloseHandle(event);
             return failed && CloseHandle(event);
         }},
        {"LocalAlloc",
         [&] {
             void* block = LocalAlloc(LPTR, 8);
             LocalFree(block);
             return block == nullptr;
         }},
        {"GetModuleHandleW", [&] { return GetModuleHandleW(nullptr) == nullptr; }},
        {"GetModuleFileNameW", [&] { return GetModuleFileNameW(nullptr, path, MAX_PATH) == 0; }},
        {"LoadLibraryW",
         [&] {
             const HMODULE loaded = LoadLibraryW(L"kernel32.dll");
             if (loaded != nullptr) {
                 FreeLibrary(loaded);
             }
             return loaded == nullptr;
         }},
        {"GetProcAddress", [&] { return GetProcAddress(kernel, "GetTickCount") == nullptr; }},
        {"FreeLibrary",
         [&] {
             LoadLibraryW(L"kernel32.dll");
             return !FreeLibrary(kernel) && FreeLibrary(kernel);
         }},
        {"PathCchRemoveFileSpec",
         [&] {
             return PathCchRemoveFileSpec(path, MAX_PATH) ==
                    HRESULT_FROM_WIN32(static_cast<unsigned long>(ERROR_GEN_FAILURE));
         }},
        {"PathRemoveFileSpecW", [&] { return !PathRemoveFileSpecW(path); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.function);
        machine().Fail(c.function, ERROR_GEN_FAILURE);
        SetLastError(ERROR_SUCCESS);
        EXPECT_TRUE(c.failed());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_FALSE(c.failed()) << "the fault fires once";
    }
    EXPECT_EQ(machine().ModuleLoadCount(L"kernel32.dll"), 1);
    CloseHandle(thread);
    CloseHandle(named);
}

struct RepeatCase {
    int times;
    std::vector<bool> failures;  // whether each successive call failed
};

TEST_F(SimFaultTest, FaultFiresTheChosenNumberOfTimesOrAlwaysUntilCleared) {
    const RepeatCase cases[] = {
        {1, {true, false, false}},
        {2, {true, true, false}},
        {-1, {true, true, true, true}},
        {0, {false}},
    };
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.times);
        machine().Fail("SetEvent", ERROR_ACCESS_DENIED, c.times);
        std::vector<bool> failures;
        for (size_t i = 0; i < c.failures.size(); ++i) {
            failures.push_back(!SetEvent(event));
        }
        EXPECT_EQ(failures, c.failures);
        EXPECT_TRUE(ResetEvent(event)) << "a fault belongs to its function only";
        machine().ClearFaults();
        EXPECT_TRUE(SetEvent(event));
    }
    CloseHandle(event);
}

}  // namespace
