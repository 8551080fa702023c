// Finding the console user's SID on the simulated machine: which session's
// user is chosen, when the session list is consulted, and that impersonation,
// tokens and platform buffers never outlive a call (the fixture checks the
// machine is left with nothing open).
#define SECURITY_WIN32
#include "process/ActiveConsoleUser.h"

#include "support/SimTest.h"

#include <winsim/SimSessions.h>
#include <windows.h>
#include <security.h>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

namespace {

using winsim::Sessions;
using winsim::UserAccount;

const UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-100-200-300-1001"};
const UserAccount kBob{L"DESKTOP\\bob", L"S-1-5-21-100-200-300-1002"};
const UserAccount kCarol{L"DESKTOP\\carol", L"S-1-5-21-100-200-300-1003"};
const std::wstring kServiceSid = L"S-1-5-18";
const std::wstring kServiceName = L"NT AUTHORITY\\SYSTEM";
constexpr uint32_t kConsole = 1;
constexpr uint32_t kRemote = 2;

std::wstring ThreadName() {
    std::array<WCHAR, 300> name{};
    ULONG size = ULONG(name.size());
    return GetUserNameExW(NameSamCompatible, name.data(), &size) ? name.data() : L"";
}

class ActiveConsoleUserTest : public SimTest {
protected:
    Sessions& sessions() { return machine().Extension<Sessions>(); }
    size_t Calls(const char* function) { return sessions().Calls(function); }
};

void AliceAtConsole(Sessions& s) {
    s.LogOnConsole(kAlice);
}
void AliceAtConsoleBobRemote(Sessions& s) {
    s.LogOnConsole(kAlice);
    s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
}
void BobRemoteOnly(Sessions& s) {
    s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
}

struct ActiveUserCase {
    const char* name;
    void (*arrange)(Sessions&);
    int failedLookups;        // account name lookups that fail, from the first
    const char* alsoFailing;  // one more platform call that fails, or nullptr
    std::wstring expected;
    size_t enumerations;
    size_t listsFreed;
};

void PrintTo(const ActiveUserCase& c, std::ostream* os) {
    *os << c.name;
}

class GetActiveUserSidTest : public ActiveConsoleUserTest,
                             public ::testing::WithParamInterface<ActiveUserCase> {};

TEST_P(GetActiveUserSidTest, PicksTheExpectedUser) {
    GetParam().arrange(sessions());
    if (GetParam().failedLookups > 0) {
        machine().Fail("LookupAccountNameW", ERROR_NONE_MAPPED, GetParam().failedLookups);
    }
    if (GetParam().alsoFailing != nullptr) {
        machine().Fail(GetParam().alsoFailing, ERROR_NOT_ENOUGH_MEMORY);
    }
    EXPECT_EQ(GetActiveUserSid(), GetParam().expected);
    EXPECT_EQ(Calls("WTSEnumerateSessionsW"), GetParam().enumerations);
    EXPECT_EQ(Calls("WTSFreeMemory"), GetParam().listsFreed);
    EXPECT_EQ(ThreadName(), kServiceName);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, GetActiveUserSidTest,
    ::testing::Values(
        ActiveUserCase{"ConsoleUser", AliceAtConsoleBobRemote, 0, nullptr, kAlice.sid, 0, 0},
        // Nobody at the console: the service's own account is named and found.
        ActiveUserCase{"NoConsoleUserGivesTheServiceAccount", BobRemoteOnly, 0, nullptr,
                       kServiceSid, 0, 0},
        ActiveUserCase{"ConsoleLookupFailsThenFirstActiveSession",
                       [](Sessions& s) {
                           s.AddSession(kConsole, L"Console", WTSDisconnected, kAlice);
                           s.AddSession(3, L"RDP-Tcp#1", WTSActive, kCarol);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                       },
                       1, nullptr, kBob.sid, 1, 1},
        // The active session found may be the console itself; it is asked again.
        ActiveUserCase{"ConsoleLookupFailsOnceThenConsoleAgain", AliceAtConsoleBobRemote, 1,
                       nullptr, kAlice.sid, 1, 1},
        ActiveUserCase{"NoActiveSession",
                       [](Sessions& s) {
                           s.AddSession(kConsole, L"Console", WTSDisconnected, kAlice);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSDisconnected, kBob);
                       },
                       1, nullptr, L"", 1, 1},
        ActiveUserCase{"ActiveSessionUserNotFoundEither", AliceAtConsole, 2, nullptr, L"", 1, 1},
        // No memory for the SID's buffer yields nothing; the enumeration then
        // finds the console as the first active session.
        ActiveUserCase{"NoMemoryForTheSidBuffer", AliceAtConsole, 0, "LocalAlloc", kAlice.sid, 1,
                       1},
        ActiveUserCase{"EnumerationFails", AliceAtConsole, 1, "WTSEnumerateSessionsW", L"", 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
