// Finding the console user's SID on the simulated machine: which session's
// user is chosen when the console's cannot be looked up, and the fixed buffers
// that a longer name or domain does not fit. The console user found at once is
// covered wherever the plug-in writes to that user's hive.
#include "process/ActiveConsoleUser.h"

#include "support/SimTest.h"

#include <winsim/SimSessions.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::UserAccount;

const UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-100-200-300-1001"};
const UserAccount kBob{L"DESKTOP\\bob", L"S-1-5-21-100-200-300-1002"};
const UserAccount kCarol{L"DESKTOP\\carol", L"S-1-5-21-100-200-300-1003"};

using ActiveConsoleUserTest = SimTest;

// The first active session in the list, by id, not the one added first.
TEST_F(ActiveConsoleUserTest, ConsoleLookupFailingFallsBackToTheFirstActiveSession) {
    auto& sessions = machine().Extension<winsim::Sessions>();
    sessions.AddSession(1, L"Console", WTSDisconnected, kAlice);
    sessions.AddSession(3, L"RDP-Tcp#1", WTSActive, kCarol);
    sessions.AddSession(2, L"RDP-Tcp#0", WTSActive, kBob);
    machine().Fail("LookupAccountNameW", ERROR_NONE_MAPPED, 1);
    EXPECT_EQ(GetActiveUserSid(), kBob.sid);
}

// 260 units each, the terminator included; what does not fit is not retried.
TEST_F(ActiveConsoleUserTest, NamesAndDomainsFitTheirBuffersUpToTheLastUnit) {
    auto& sessions = machine().Extension<winsim::Sessions>();
    const std::wstring domain(200, L'D');
    const UserAccount fitting{domain + L"\\" + std::wstring(58, L'u'), kAlice.sid};
    sessions.AddSession(2, L"RDP-Tcp#0", WTSActive, fitting);
    sessions.LogOnConsole({domain + L"\\" + std::wstring(59, L'u'), kAlice.sid});
    sessions.AddUser({std::wstring(259, L'D') + L"\\dave", kBob.sid});
    sessions.AddUser({std::wstring(260, L'E') + L"\\erin", kCarol.sid});

    EXPECT_EQ(GetSessionUserName(2), fitting.name);
    EXPECT_EQ(GetSessionUserName(1), L"");
    EXPECT_EQ(GetUserSidString(L"dave"), kBob.sid);
    EXPECT_EQ(GetUserSidString(L"erin"), L"");
}

}  // namespace
