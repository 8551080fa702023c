// The simulated process table: what tests of other parts rely on.
#include "support/SimTest.h"

#include <winsim/SimProcesses.h>
#include <winsim/SimSessions.h>
#include <windows.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;

class SimProcessesTest : public SimTest {
protected:
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }

    // Creates with CreateProcessW, closes the handles; the error, 0 on success.
    DWORD Create(const wchar_t* application, std::wstring commandLine,
                 const STARTUPINFOW& startup = DefaultStartup(), DWORD flags = 0,
                 SECURITY_ATTRIBUTES* attributes = nullptr, void* environment = nullptr) {
        STARTUPINFOW startupInfo = startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(application, commandLine.empty() ? nullptr : commandLine.data(),
                            attributes, nullptr, FALSE, flags, environment, nullptr, &startupInfo,
                            &info)) {
            return GetLastError();
        }
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        return ERROR_SUCCESS;
    }
    static STARTUPINFOW DefaultStartup() {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        return startup;
    }
    // Image names of a fresh snapshot, in its order.
    static std::vector<std::wstring> SnapshotNames(HANDLE snapshot) {
        std::vector<std::wstring> names;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry)) {
            names.emplace_back(entry.szExeFile);
        }
        return names;
    }
};

struct ImageNameCase {
    const char* title;
    const wchar_t* application;
    std::wstring commandLine;
    std::wstring imageName;
};

void PrintTo(const ImageNameCase& c, std::ostream* out) {
    *out << c.title;
}

class ImageNames : public SimProcessesTest, public ::testing::WithParamInterface<ImageNameCase> {};

TEST_P(ImageNames, AreTakenAsWindowsTakesThem) {
    processes().Register(GetParam().imageName);
    ASSERT_EQ(Create(GetParam().application, GetParam().commandLine), ERROR_SUCCESS);
    EXPECT_EQ(processes().List().back().imageName, GetParam().imageName);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, ImageNames,
    ::testing::Values(
        ImageNameCase{"QuotedPath", nullptr, L"\"C:\\Program Files\\A B\\prog.exe\" x y",
                      L"prog.exe"},
        ImageNameCase{"PathWithoutExtension", nullptr, L"C:\\dir\\tool arg", L"tool.exe"},
        ImageNameCase{"BareName", nullptr, L"cmd.exe /c x", L"cmd.exe"},
        ImageNameCase{"TabEndsTheName", nullptr, L"tool.exe\targ", L"tool.exe"},
        ImageNameCase{"ApplicationNameWins", L"C:\\x\\real.exe", L"shown.exe a", L"real.exe"},
        ImageNameCase{"ApplicationNameAlone", L"C:\\x\\alone.exe", L"", L"alone.exe"}),
    [](const auto& info) { return std::string(info.param.title); });

// The conformance suite checks the refusals; this is the longest line accepted
// and the set-up that lets any program start.
TEST_F(SimProcessesTest, LongestCommandLineStartsAndUnregisteredProgramsCanBeAllowed) {
    processes().Register(L"x.exe");
    EXPECT_EQ(Create(nullptr, L"x.exe " + std::wstring(32766 - 6, L'a')), ERROR_SUCCESS);
    processes().SetUnregisteredProgramError(ERROR_SUCCESS);
    EXPECT_EQ(Create(nullptr, L"anything.exe"), ERROR_SUCCESS);
}

TEST_F(SimProcessesTest, JournalNamesUnusualArguments) {
    processes().Register(L"x.exe");
    STARTUPINFOW startup{};
    startup.cb = 3;
    wchar_t title[] = L"t";
    startup.lpTitle = title;
    startup.dwX = 1;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const wchar_t block[] = L"A=1\0B=2\0";
    ASSERT_EQ(Create(nullptr, L"x.exe", startup, CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED,
                     &inheritable, const_cast<wchar_t*>(block)),
              ERROR_SUCCESS);
    ASSERT_EQ(Create(nullptr, L"x.exe", DefaultStartup(), 0, nullptr, const_cast<wchar_t*>(block)),
              ERROR_SUCCESS);
    EXPECT_THAT(
        Journal("process"),
        ElementsAre("CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 app=(null) cmd=<x.exe> "
                    "dir=(null) env=<2 variables> flags=0x404 inherit=0 "
                    "psa={nLength=24,sd=0,inherit=1} tsa=(null) si.cb=3 desktop=(null) "
                    "startf=0x0 show=0 si.other=lpTitle,dwX -> pid 10000",
                    "CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 app=(null) cmd=<x.exe> "
                    "dir=(null) env=narrow flags=0x0 inherit=0 psa=(null) tsa=(null) si.cb=ok "
                    "desktop=(null) startf=0x0 show=0 -> pid 10008"));
    EXPECT_THAT(processes().List().back().environment, ::testing::IsEmpty());
    EXPECT_THAT(processes().List()[2].environment, ElementsAre(L"A=1", L"B=2"));
}

TEST_F(SimProcessesTest, OnlyAPrimaryTokenStartsAProcess) {
    processes().Register(L"x.exe");
    auto& sessions = machine().Extension<winsim::Sessions>();
    sessions.LogOnConsole({L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"});
    HANDLE userToken = nullptr;
    ASSERT_TRUE(WTSQueryUserToken(1, &userToken));
    HANDLE impersonation = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(userToken, MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                                 TokenImpersonation, &impersonation));
    std::wstring commandLine = L"x.exe";
    STARTUPINFOW startup = DefaultStartup();
    PROCESS_INFORMATION info{};
    HANDLE notAToken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE token : {impersonation, notAToken}) {
        EXPECT_FALSE(CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr,
                                          FALSE, 0, nullptr, nullptr, &startup, &info));
    }
    EXPECT_THAT(Journal("process"),
                ElementsAre(::testing::EndsWith("-> error 1349"),
                            ::testing::StartsWith(
                                "CreateProcessAsUserW user=(bad token) session=(bad token) ")));
    for (HANDLE handle : {notAToken, impersonation, userToken}) {
        CloseHandle(handle);
    }
}

TEST_F(SimProcessesTest, SnapshotIsFrozenWhenTaken) {
    const uint32_t ending = processes().Start(L"ending.exe");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    processes().End(ending);
    processes().Start(L"later.exe");
    EXPECT_THAT(SnapshotNames(snapshot),
                ElementsAre(L"[System Process]", L"System", L"VLAMainService.exe", L"ending.exe"));
    CloseHandle(snapshot);
}

struct OpenCase {
    const char* title;
    uint32_t (*arrange)(winsim::Processes&);  // the id to open
    DWORD error;                              // 0: opened
};

void PrintTo(const OpenCase& c, std::ostream* out) {
    *out << c.title;
}

class OpenProcessAnswers : public SimProcessesTest,
                           public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenProcessAnswers, AsWindowsDoes) {
    const uint32_t id = GetParam().arrange(processes());
    SetLastError(0);
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(process != nullptr, GetParam().error == 0);
    if (process != nullptr) {
        EXPECT_EQ(GetProcessId(process), id);
        CloseHandle(process);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sim, OpenProcessAnswers,
    ::testing::Values(
        OpenCase{"Running", [](winsim::Processes& p) { return p.Start(L"a.exe"); }, 0},
        OpenCase{"Self", [](winsim::Processes&) { return GetCurrentProcessId(); }, 0},
        OpenCase{"Unknown", [](winsim::Processes&) { return 9996u; }, ERROR_INVALID_PARAMETER},
        OpenCase{"Ended",
                 [](winsim::Processes& p) {
                     const uint32_t id = p.Start(L"a.exe");
                     p.End(id);
                     return id;
                 },
                 ERROR_INVALID_PARAMETER},
        OpenCase{"System", [](winsim::Processes&) { return 4u; }, ERROR_ACCESS_DENIED},
        OpenCase{"Denied",
                 [](winsim::Processes& p) {
                     const uint32_t id = p.Start(L"a.exe");
                     p.DenyOpen(id);
                     return id;
                 },
                 ERROR_ACCESS_DENIED}),
    [](const auto& info) { return std::string(info.param.title); });

TEST_F(SimProcessesTest, ProgramThatRunsForAWhileEndsOnTheVirtualClock) {
    processes().Register(L"slow.exe", winsim::programs::RunsFor(60000, 4));
    std::wstring commandLine = L"slow.exe";
    STARTUPINFOW startup = DefaultStartup();
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    ASSERT_TRUE(machine().WaitForParked(1));
    machine().Advance(59999);
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    machine().Advance(1);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(info.hThread, 0), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 4u);
    EXPECT_FALSE(TerminateProcess(info.hProcess, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Journal("process").back(), "ended <slow.exe> pid=10000 exit=4");
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

}  // namespace
