// Starting programs on the console user's desktop and running the helper's
// disable command. The started programs' command lines are pinned where the
// plug-in starts them (the DPI restore, the tray and icon helpers, the recovery).
#include "support/ImplTest.h"
#include "support/NamedRows.h"
#include "process/UserProcessLauncher.h"

#include <winsim/SimSessions.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ::testing::ElementsAre;

class LauncherTest : public simtest::ImplTest {
protected:
    LauncherTest() {
        machine().Extension<winsim::Sessions>().LogOnConsole(
            {L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"});
    }
};

// Shown, in the directory given, the path trimmed and quoted for its inner space.
TEST_F(LauncherTest, StartProcessStartsShownWithDefaultAttributesAndDirectory) {
    processes().SetUnregisteredProgramError(ERROR_SUCCESS);
    ASSERT_TRUE(NXPROCESS::StartProcess(L" C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe ",
                                        L" RefreshNotifyIcon ", L"C:\\Program Files\\DeskSuite"));
    EXPECT_THAT(
        machine().JournalLines({"environment", "process"}),
        ElementsAre("environment: CreateEnvironmentBlock user=<DESKTOP\\alice> inherit=0",
                    "process: CreateProcessAsUserW user=<DESKTOP\\alice> session=1 app=(null) "
                    "cmd=<\"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe\" "
                    "RefreshNotifyIcon> dir=<C:\\Program Files\\DeskSuite> "
                    "env=<USERNAME=alice> flags=0x430 inherit=0 psa=default tsa=default "
                    "si.cb=ok desktop=<winsta0\\default> startf=0x1 show=1 -> pid 10000"));
}

// The command line's launcher: hidden, without security records, the new
// process's id logged after every attempt (0 after a failure).
TEST_F(LauncherTest, CreateUserProcessStartsHiddenAndLogsTheId) {
    processes().SetUnregisteredProgramError(ERROR_SUCCESS);
    ASSERT_TRUE(CreateUserProcess(L"x.exe"));
    machine().Fail("CreateProcessAsUserW", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CreateUserProcess(L"x.exe"));
    const std::string hidden = "tsa=(null) si.cb=ok desktop=<winsta0\\default> startf=0x1 show=0 ";
    EXPECT_THAT(Journal("process"), ElementsAre(::testing::HasSubstr(hidden)));
    const std::string operation = "(`anonymous-namespace'::CreateProcessAsUserEx)";
    EXPECT_THAT(LogLines(), ElementsAre("4 CreateUserProcessEx processId: 10000" + operation,
                                        "4 CreateUserProcessEx failed:5" + operation,
                                        "4 CreateUserProcessEx processId: 0" + operation));
}

// "x.exe", one space and the arguments: the longest line the buffer takes.
constexpr size_t kLongestCommandLine = 32767;
const std::wstring kLongestArguments(kLongestCommandLine - 6, L'a');

TEST_F(LauncherTest, LongestCommandLineIsHandedToThePlatform) {
    // Which refuses it: its own limit counts the terminator.
    EXPECT_FALSE(NXPROCESS::StartProcess(L"x.exe", kLongestArguments, nullptr));
    EXPECT_THAT(LogLines(),
                ElementsAre("4 CreateProcessAsUser Failed: 206(NXPROCESS::StartProcess)"));
}

// Refused before the user's token is asked for, without a line; the caller
// reads why in the last error.
TEST_F(LauncherTest, StartProcessRefusalsReachNoPlatformCall) {
    for (const std::wstring& arguments : {kLongestArguments + L"a", std::wstring()}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(NXPROCESS::StartProcess(L"x.exe", arguments, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_FALSE(NXPROCESS::StartProcess(L"", L"a", nullptr));
    EXPECT_TRUE(machine().JournalLines().empty());
}

// One step before the creation failing, for each of the two user-session launchers.
struct FailureCase : testrows::Named {
    const char* failingFunction;  // nullptr: nobody logged on at the console
    DWORD error;
    std::string createUserLine;
    std::string startLine;
};

class LaunchFailures : public LauncherTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LaunchFailures, AreLoggedAndStartNothing) {
    if (GetParam().failingFunction == nullptr) {
        machine().Extension<winsim::Sessions>().AddSession(1, L"Console", WTSConnected);
    } else {
        machine().Fail(GetParam().failingFunction, GetParam().error, 2);
    }
    EXPECT_FALSE(CreateUserProcess(L"NxReVadiru.exe setdpi 150"));
    EXPECT_FALSE(NXPROCESS::StartProcess(L"NxReVadiru.exe", L"setdpi 150", nullptr));
    EXPECT_THAT(LogLines(), ElementsAre(GetParam().createUserLine, GetParam().startLine));
    EXPECT_TRUE(Journal("process").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, LaunchFailures,
    ::testing::Values(
        FailureCase{"NobodyAtTheConsole", nullptr, 0,
                    "4 WTSQueryUserToken failed:1008(`anonymous-namespace'::CreateUserProcessEx)",
                    "4 WTSQueryUserToken Failed: 1008(NXPROCESS::StartProcess)"},
        FailureCase{"Duplicate", "DuplicateTokenEx", ERROR_ACCESS_DENIED,
                    "4 DuplicateTokenEx failed:5(`anonymous-namespace'::CreateUserProcessEx)",
                    "4 DuplicateTokenEx Failed: 5(NXPROCESS::StartProcess)"},
        FailureCase{"Environment", "CreateEnvironmentBlock", ERROR_NOT_ENOUGH_MEMORY,
                    "4 CreateEnvironmentBlock failed:8(`anonymous-namespace'::CreateUserProcessEx)",
                    "4 CreateEnvironmentBlock Failed: 8(NXPROCESS::StartProcess)"}),
    testrows::RowName());

TEST_F(LauncherTest, FailedDisableCommandIsLogged) {
    impl().ExecuteCmd();
    EXPECT_THAT(LogLines(), ElementsAre("4 [VuVidazi] CreateProcess failed:2"
                                        "(NxReVadiruService::Impl::ExecuteCmd)"));
}

}  // namespace
