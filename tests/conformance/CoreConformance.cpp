// Last error, events, waits, threads, modules, files and path helpers: what the
// simulated machine must answer as Windows does. Timed waits are a few
// milliseconds at most, so the suite is cheap on both sides.
#include "conformance/ConformanceHelpers.h"

#include <windows.h>
#include <pathcch.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using conformance::Code;
using conformance::OwnPath;

// --- last error --------------------------------------------------------------

struct LastErrorSeen {
    DWORD atStart = 1;
    DWORD afterSet = 1;
};

DWORD WINAPI RecordLastError(LPVOID parameter) {
    auto* seen = static_cast<LastErrorSeen*>(parameter);
    seen->atStart = GetLastError();
    SetLastError(ERROR_ACCESS_DENIED);
    seen->afterSet = GetLastError();
    return 0;
}

TEST(CoreConformance, LastErrorBelongsToEachThread) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    LastErrorSeen seen;
    const UniqueHandle thread(CreateThread(nullptr, 0, RecordLastError, &seen, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(thread.get(), INFINITE), WAIT_OBJECT_0);

    EXPECT_EQ(seen.atStart, Code(ERROR_SUCCESS));
    EXPECT_EQ(seen.afterSet, Code(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), Code(ERROR_FILE_NOT_FOUND));
}

// --- events and waits --------------------------------------------------------

struct EventCase {
    const char* name;
    BOOL manualReset;
    BOOL initialState;
    std::vector<DWORD> waits;  // results of successive zero-time waits
};

TEST(CoreConformance, EventResetModesDecideHowManyWaitsSucceed) {
    const DWORD timeout = Code(WAIT_TIMEOUT);
    const EventCase cases[] = {
        {"auto reset, signalled", FALSE, TRUE, {WAIT_OBJECT_0, timeout, timeout}},
        {"auto reset, not signalled", FALSE, FALSE, {timeout}},
        {"manual reset, signalled", TRUE, TRUE, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0}},
        {"manual reset, not signalled", TRUE, FALSE, {timeout, timeout}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const UniqueHandle event(CreateEventW(nullptr, c.manualReset, c.initialState, nullptr));
        ASSERT_TRUE(event);
        std::vector<DWORD> waits;
        for (size_t i = 0; i < c.waits.size(); ++i) {
            waits.push_back(WaitForSingleObject(event.get(), 0));
        }
        EXPECT_EQ(waits, c.waits);
    }
}

TEST(CoreConformance, ResetEventUnsignalsAManualResetEvent) {
    const UniqueHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    ASSERT_TRUE(event);
    ASSERT_TRUE(ResetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), Code(WAIT_TIMEOUT));
    ASSERT_TRUE(SetEvent(event.get()));
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), WAIT_OBJECT_0);
}

TEST(CoreConformance, CreatingAnExistingNamedEventOpensTheSameEvent) {
    // Unique to this process, so that parallel runs never share the event.
    const std::wstring name = L"NxConformanceEvent" + std::to_wstring(GetCurrentProcessId());
    SetLastError(ERROR_ACCESS_DENIED);
    const UniqueHandle first(CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
    ASSERT_TRUE(first);
    EXPECT_EQ(GetLastError(), Code(ERROR_SUCCESS));

    // The second call's reset mode and initial state are ignored.
    const UniqueHandle second(CreateEventW(nullptr, TRUE, TRUE, name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), Code(ERROR_ALREADY_EXISTS));
    EXPECT_NE(second.get(), first.get());
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), Code(WAIT_TIMEOUT));

    ASSERT_TRUE(SetEvent(second.get()));
    EXPECT_EQ(WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second.get(), 0), Code(WAIT_TIMEOUT));
}

// --- modules -----------------------------------------------------------------

// Success sets the last error too: a caller that logs a failure through a
// file writer must not read the writer's "already exists" instead.
TEST(CoreConformance, OpeningAnExistingFileWithOpenAlwaysSaysItExists) {
    const std::wstring own = OwnPath();
    const std::pair<DWORD, DWORD> cases[] = {{OPEN_EXISTING, Code(ERROR_SUCCESS)},
                                             {OPEN_ALWAYS, Code(ERROR_ALREADY_EXISTS)}};
    for (const auto& [disposition, error] : cases) {
        SCOPED_TRACE(disposition);
        SetLastError(ERROR_ACCESS_DENIED);
        const UniqueHandle file(CreateFileW(own.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(file);
        EXPECT_EQ(GetLastError(), error);
        DWORD written = 0;
        EXPECT_FALSE(WriteFile(file.get(), "x", 1, &written, nullptr));
        EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));  // opened for reading only
    }
}

// A bare name that no loaded module has is looked for along the search order,
// which has the system directory on it.
TEST(CoreConformance, BareNameLoadsTheLibraryOfTheSystemDirectory) {
    const HMODULE module = LoadLibraryW(L"version.dll");
    ASSERT_NE(module, nullptr);
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    EXPECT_EQ(conformance::Lower(path), L"c:\\windows\\system32\\version.dll") << path;
    EXPECT_TRUE(FreeLibrary(module));
}

// A loaded module is found by name in any case, with or without its extension.
TEST(CoreConformance, LoadLibraryOfALoadedModuleGivesItsHandleAndExportsByExactName) {
    const HMODULE loaded = LoadLibraryW(L"kernel32.dll");
    ASSERT_NE(loaded, nullptr);
    for (const wchar_t* name : {L"kernel32.dll", L"KERNEL32.DLL", L"kernel32"}) {
        EXPECT_EQ(GetModuleHandleW(name), loaded) << name;
    }
    EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(GetModuleHandleW(nullptr), loaded);

    using ThreadIdFunction = DWORD(WINAPI*)();
    // Through the generic function pointer type, as exports are meant to be cast.
    const auto threadId = reinterpret_cast<ThreadIdFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(loaded, "GetCurrentThreadId")));
    ASSERT_NE(threadId, nullptr);
    EXPECT_EQ(threadId(), GetCurrentThreadId());

    const struct {
        HMODULE module;
        const char* name;
    } missing[] = {
        {loaded, "NxNoSuchExport"},
        {loaded, "getcurrentthreadid"},
        {GetModuleHandleW(nullptr), "NxNoSuchExport"},
    };
    for (const auto& c : missing) {
        SCOPED_TRACE(c.name);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetProcAddress(c.module, c.name), nullptr);
        EXPECT_EQ(GetLastError(), Code(ERROR_PROC_NOT_FOUND));
    }

    // The process loaded it before: a balanced free leaves it loaded.
    EXPECT_TRUE(FreeLibrary(loaded));
    EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), loaded);
}

// --- path helpers ------------------------------------------------------------

struct RemoveFileSpecCase {
    const wchar_t* path;
    HRESULT pathCchResult;
    BOOL shellResult;
    const wchar_t* pathCchPath;
    const wchar_t* shellPath;
};

TEST(CoreConformance, RemoveFileSpecStripsTheLastElementButKeepsTheRoot) {
    const RemoveFileSpecCase cases[] = {
        {L"C:\\Program Files\\Host\\Service.exe", S_OK, TRUE, L"C:\\Program Files\\Host",
         L"C:\\Program Files\\Host"},
        {L"C:\\Service.exe", S_OK, TRUE, L"C:\\", L"C:\\"},
        {L"C:\\Host\\", S_OK, TRUE, L"C:\\Host", L"C:\\Host"},
        {L"C:\\", S_FALSE, FALSE, L"C:\\", L"C:\\"},
        {L"Service.exe", S_OK, TRUE, L"", L""},
        {L"", S_FALSE, FALSE, L"", L""},
        {L"\\\\server\\share\\file.txt", S_OK, TRUE, L"\\\\server\\share", L"\\\\server\\share"},
        {L"\\\\server\\share", S_FALSE, TRUE, L"\\\\server\\share", L"\\\\server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<WCHAR> pathCch(MAX_PATH, L'\0');
        std::wstring(c.path).copy(pathCch.data(), MAX_PATH - 1);
        std::vector<WCHAR> shell = pathCch;
        EXPECT_EQ(PathCchRemoveFileSpec(pathCch.data(), MAX_PATH), c.pathCchResult);
        EXPECT_EQ(std::wstring(pathCch.data()), c.pathCchPath);
        EXPECT_EQ(PathRemoveFileSpecW(shell.data()), c.shellResult);
        EXPECT_EQ(std::wstring(shell.data()), c.shellPath);
    }
}

}  // namespace
