// Processes and process snapshots: what the simulated machine must answer as
// Windows does.
//
// That a started program runs on its own, after the creation call has
// returned, is not shown here: the simulated machine runs only the programs a
// test registers, so the native suite shows it (the DPI restore reading the
// scaling before the helper has set it, the recovery waiting for the disable
// command).
#include "conformance/ConformanceHelpers.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using conformance::Code;
using conformance::Lower;
using conformance::OwnPath;

TEST(ProcessesConformance, SnapshotWalkFindsTheCurrentProcessByName) {
    const std::wstring ownPath = OwnPath();
    const std::wstring ownName = ownPath.substr(ownPath.find_last_of(L"\\/") + 1);
    ASSERT_FALSE(ownName.empty());
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    ASSERT_TRUE(snapshot);

    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    ASSERT_TRUE(Process32FirstW(snapshot.get(), &entry));
    bool found = false;
    do {
        found = found || (entry.th32ProcessID == GetCurrentProcessId() &&
                          Lower(entry.szExeFile) == Lower(ownName));
    } while (Process32NextW(snapshot.get(), &entry));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(found);
}

// The child is this very program, created suspended so that it does nothing
// until it is terminated. Handles opened by its id hold only the rights asked
// for (a wait needs SYNCHRONIZE, the exit code a query right), and are
// inherited by children only when asked.
TEST(ProcessesConformance, AChildsHandleIsSignalledWhenItEnds) {
    std::wstring commandLine = L"\"" + OwnPath() + L"\" --gtest_list_tests";
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_SUSPENDED, nullptr, nullptr, &startupInfo, &info));
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    EXPECT_NE(info.dwProcessId, 0u);
    const UniqueHandle queryOnly(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, info.dwProcessId));
    const UniqueHandle waitOnly(OpenProcess(SYNCHRONIZE, TRUE, info.dwProcessId));
    ASSERT_TRUE(queryOnly && waitOnly);
    DWORD flags = 2;
    EXPECT_TRUE(GetHandleInformation(queryOnly.get(), &flags) && flags == 0);
    EXPECT_TRUE(GetHandleInformation(waitOnly.get(), &flags) && flags == HANDLE_FLAG_INHERIT);

    DWORD exitCode = 0;
    EXPECT_EQ(WaitForSingleObject(process.get(), 0), Code(WAIT_TIMEOUT));
    ASSERT_TRUE(GetExitCodeProcess(queryOnly.get(), &exitCode));
    EXPECT_EQ(exitCode, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(queryOnly.get(), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(GetExitCodeProcess(waitOnly.get(), &exitCode));
    EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));

    ASSERT_TRUE(TerminateProcess(process.get(), 7));
    EXPECT_EQ(WaitForSingleObject(waitOnly.get(), INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 7u);
}

}  // namespace
