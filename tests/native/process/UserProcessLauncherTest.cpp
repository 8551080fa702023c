// Starting programs on the console user's desktop and running the helper's
// disable command.
#include "plugin/NxReVadiruServiceImpl.h"
#include "process/StartProcess.h"
#include "process/UserProcessLauncher.h"
#include "support/SimTest.h"

#include <winsim/SimProcesses.h>
#include <winsim/SimSessions.h>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const winsim::UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-1-2-3-1001"};

// The journal line of a creation by the user-session launchers, up to the
// command-line-specific fields.
std::string UserCreation(const std::string& commandLine, const std::string& directory,
                         const std::string& securityAttributes, int showState) {
    return "CreateProcessAsUserW user=<DESKTOP\\alice> session=1 app=(null) cmd=<" + commandLine +
           "> dir=" + directory +
           " env=<USERNAME=alice> flags=0x430 inherit=0 psa=" + securityAttributes +
           " tsa=" + securityAttributes +
           " si.cb=ok desktop=<winsta0\\default> startf=0x1 show=" + std::to_string(showState);
}

class LauncherTest : public SimTest {
protected:
    LauncherTest() {
        sessions().LogOnConsole(kAlice);
        // A variable only the service has: a user's block built by inheriting would carry it.
        sessions().SetServiceEnvironmentVariable(L"NX_SERVICE_ONLY", L"1");
        processes().SetUnregisteredProgramError(ERROR_SUCCESS);
    }
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    winsim::Sessions& sessions() { return machine().Extension<winsim::Sessions>(); }
};

TEST_F(LauncherTest, CreateUserProcessStartsTheCommandLineHidden) {
    ASSERT_TRUE(CreateUserProcess(L"NxReVadiru.exe setdpi 150"));
    EXPECT_THAT(Journal("process"),
                ElementsAre(UserCreation("NxReVadiru.exe setdpi 150", "(null)", "(null)", SW_HIDE) +
                            " -> pid 10000"));
    EXPECT_THAT(LogLines(), ElementsAre("4 CreateUserProcessEx processId: "
                                        "10000(`anonymous-namespace'::CreateProcessAsUserEx)"));
    const auto started = processes().Find(L"NxReVadiru.exe");
    ASSERT_TRUE(started.has_value());
    EXPECT_THAT(started->environment, Contains(L"USERPROFILE=C:\\Users\\alice"));
    EXPECT_THAT(started->environment, ::testing::Not(Contains(L"NX_SERVICE_ONLY=1")));
}

TEST_F(LauncherTest, StartProcessStartsShownWithDefaultAttributesAndDirectory) {
    ASSERT_TRUE(NXPROCESS::StartProcess(L"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe",
                                        L"RefreshNotifyIcon", L"C:\\Program Files\\DeskSuite"));
    EXPECT_THAT(
        Journal("process"),
        ElementsAre(UserCreation("\"C:\\Program Files\\DeskSuite\\NxZarCenterHelper.exe\" "
                                 "RefreshNotifyIcon",
                                 "<C:\\Program Files\\DeskSuite>", "default", SW_SHOWNORMAL) +
                    " -> pid 10000"));
    EXPECT_THAT(LogLines(), IsEmpty());
    EXPECT_THAT(processes().Find(L"NxZarCenterHelper.exe")->environment,
                ::testing::Not(Contains(L"NX_SERVICE_ONLY=1")));
}

struct CommandLineCase {
    const char* title;
    std::wstring path;
    std::wstring arguments;
    std::string commandLine;  // as the platform receives it
};

void PrintTo(const CommandLineCase& c, std::ostream* out) {
    *out << c.title;
}

class StartProcessCommandLines : public LauncherTest,
                                 public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(StartProcessCommandLines, ReachThePlatformTrimmedAndQuoted) {
    ASSERT_TRUE(NXPROCESS::StartProcess(GetParam().path, GetParam().arguments, nullptr));
    EXPECT_THAT(Journal("process"), ElementsAre(UserCreation(GetParam().commandLine, "(null)",
                                                             "default", SW_SHOWNORMAL) +
                                                " -> pid 10000"));
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, StartProcessCommandLines,
    ::testing::Values(CommandLineCase{"PaddingIsTrimmed", L"  C:\\Tools\\x.exe  ", L"  a  b  ",
                                      "C:\\Tools\\x.exe a  b"},
                      CommandLineCase{"TrimmedPathWithInnerSpaceIsQuoted", L" my tool.exe ", L"x",
                                      "\"my tool.exe\" x"},
                      CommandLineCase{"QuotedPathIsQuotedAgain", L"\"C:\\Program Files\\x.exe\"",
                                      L"go", "\"\"C:\\Program Files\\x.exe\"\" go"},
                      CommandLineCase{"TabsStay", L"\tx.exe", L"a\t", "\tx.exe a\t"},
                      CommandLineCase{"SpacesOnlyArgumentsLeaveOneSpace", L"x.exe", L"   ",
                                      "x.exe "}),
    [](const auto& info) { return std::string(info.param.title); });

// "x.exe", one space and the arguments: the longest line the buffer takes.
constexpr size_t kLongestCommandLine = 32767;
const std::wstring kLongestArguments(kLongestCommandLine - 6, L'a');

TEST_F(LauncherTest, LongestCommandLineIsHandedToThePlatform) {
    // Which refuses it: its own limit counts the terminator.
    EXPECT_FALSE(NXPROCESS::StartProcess(L"x.exe", kLongestArguments, nullptr));
    EXPECT_THAT(Journal("process"),
                ElementsAre(UserCreation("x.exe " + std::string(kLongestArguments.size(), 'a'),
                                         "(null)", "default", SW_SHOWNORMAL) +
                            " -> error 206"));
    EXPECT_THAT(LogLines(),
                ElementsAre("4 CreateProcessAsUser Failed: 206(NXPROCESS::StartProcess)"));
}

// Each refused before the user's token is asked for, without a line.
TEST_F(LauncherTest, StartProcessRefusalsReachNoPlatformCall) {
    EXPECT_FALSE(NXPROCESS::StartProcess(L"NxTrayWndHelper.exe", L"", nullptr));
    EXPECT_FALSE(NXPROCESS::StartProcess(L"", L"RefreshNotifyIcon", nullptr));
    EXPECT_FALSE(NXPROCESS::StartProcess(L"x.exe", kLongestArguments + L"a", nullptr));
    machine().Fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(NXPROCESS::StartProcess(L"NxReVadiru.exe", L"setdpi 150", nullptr));
    EXPECT_THAT(machine().JournalLines(), IsEmpty());
    EXPECT_EQ(sessions().Calls("WTSQueryUserToken"), 0u);
}

// One platform step failing, for each of the two user-session launchers.
struct FailureCase {
    const char* title;
    const char* failingFunction;  // nullptr: nobody logged on at the console
    DWORD error;
    std::vector<std::string> createUserLines;
    std::vector<std::string> startLines;
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.title;
}

class LaunchFailures : public LauncherTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void Arrange() {
        if (GetParam().failingFunction == nullptr) {
            sessions().AddSession(1, L"Console", WTSConnected);
        } else {
            machine().Fail(GetParam().failingFunction, GetParam().error);
        }
    }
    void ExpectNothingStarted(const std::vector<std::string>& lines) {
        EXPECT_THAT(LogLines(), ::testing::ElementsAreArray(lines));
        EXPECT_THAT(Journal("process"), IsEmpty());
        EXPECT_FALSE(processes().Find(L"NxReVadiru.exe").has_value());
    }
};

TEST_P(LaunchFailures, CreateUserProcessLogsAndStartsNothing) {
    Arrange();
    EXPECT_FALSE(CreateUserProcess(L"NxReVadiru.exe setdpi 150"));
    ExpectNothingStarted(GetParam().createUserLines);
}

TEST_P(LaunchFailures, StartProcessLogsAndStartsNothing) {
    Arrange();
    EXPECT_FALSE(NXPROCESS::StartProcess(L"NxReVadiru.exe", L"setdpi 150", nullptr));
    ExpectNothingStarted(GetParam().startLines);
}

INSTANTIATE_TEST_SUITE_P(
    Launcher, LaunchFailures,
    ::testing::Values(
        FailureCase{"NobodyAtTheConsole",
                    nullptr,
                    0,
                    {"4 WTSQueryUserToken failed:1008(`anonymous-namespace'::CreateUserProcessEx)"},
                    {"4 WTSQueryUserToken Failed: 1008(NXPROCESS::StartProcess)"}},
        FailureCase{"Duplicate",
                    "DuplicateTokenEx",
                    ERROR_ACCESS_DENIED,
                    {"4 DuplicateTokenEx failed:5(`anonymous-namespace'::CreateUserProcessEx)"},
                    {"4 DuplicateTokenEx Failed: 5(NXPROCESS::StartProcess)"}},
        FailureCase{
            "Environment",
            "CreateEnvironmentBlock",
            ERROR_NOT_ENOUGH_MEMORY,
            {"4 CreateEnvironmentBlock failed:8(`anonymous-namespace'::CreateUserProcessEx)"},
            {"4 CreateEnvironmentBlock Failed: 8(NXPROCESS::StartProcess)"}},
        FailureCase{"Create",
                    "CreateProcessAsUserW",
                    ERROR_ACCESS_DENIED,
                    {"4 CreateUserProcessEx failed:5(`anonymous-namespace'::CreateProcessAsUserEx)",
                     "4 CreateUserProcessEx processId: "
                     "0(`anonymous-namespace'::CreateProcessAsUserEx)"},
                    {"4 CreateProcessAsUser Failed: 5(NXPROCESS::StartProcess)"}}),
    [](const auto& info) { return std::string(info.param.title); });

class ExecuteCmdTest : public SimTest {
protected:
    winsim::Processes& processes() { return machine().Extension<winsim::Processes>(); }
    std::shared_ptr<NxReVadiruService::Impl> impl = std::make_shared<NxReVadiruService::Impl>();
};

const std::string kDisableCreation =
    "CreateProcessW user=<NT AUTHORITY\\SYSTEM> session=0 app=(null) "
    "cmd=<cmd.exe /c NxReVadiru.exe disable> dir=(null) env=inherit flags=0x8000000 inherit=1 "
    "psa=(null) tsa=(null) si.cb=ok desktop=(null) startf=0x0 show=0";

TEST_F(ExecuteCmdTest, ReturnsOnlyOnceTheCommandInterpreterHasEnded) {
    // Slow, but within the limit after which the recovery stops waiting.
    constexpr uint64_t kDisableTakes = 30 * 1000;
    processes().Register(L"cmd.exe", winsim::programs::RunsFor(kDisableTakes));
    auto executed = std::async(std::launch::async, [this] { impl->ExecuteCmd(); });
    // The command's own thread and the wait for it.
    ASSERT_TRUE(machine().WaitForParked(2));
    EXPECT_EQ(executed.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);

    machine().Advance(kDisableTakes);
    executed.get();
    const auto journal = machine().Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].text, kDisableCreation + " -> pid 10000");
    EXPECT_EQ(journal[1].text, "ended <cmd.exe> pid=10000 exit=0");
    EXPECT_EQ(journal[1].time, kDisableTakes);
}

TEST_F(ExecuteCmdTest, FailedStartIsLogged) {
    impl->ExecuteCmd();
    EXPECT_THAT(machine().JournalLines({"process", "log"}),
                ElementsAre("process: " + kDisableCreation + " -> error 2",
                            "log: 4 [VuVidazi] CreateProcess failed:2"
                            "(NxReVadiruService::Impl::ExecuteCmd)"));
}

}  // namespace
