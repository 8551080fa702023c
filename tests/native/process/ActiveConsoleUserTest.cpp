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
#include <functional>
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

// A SID whose binary form takes 8 + 4 * count bytes.
std::wstring SidOfSubAuthorities(size_t count) {
    std::wstring sid = L"S-1-5";
    for (size_t i = 1; i <= count; ++i) {
        sid += L"-" + std::to_wstring(i);
    }
    return sid;
}

// A name whose domain part is `domainChars` long.
std::wstring NameWithDomainOf(size_t domainChars, const std::wstring& user) {
    return std::wstring(domainChars, L'D') + L"\\" + user;
}

std::wstring ThreadName() {
    std::array<WCHAR, 300> name{};
    ULONG size = ULONG(name.size());
    return GetUserNameExW(NameSamCompatible, name.data(), &size) ? name.data() : L"";
}

using Arrange = std::function<void(winsim::Machine&, Sessions&)>;

class ActiveConsoleUserTest : public SimTest {
protected:
    Sessions& sessions() { return machine().Extension<Sessions>(); }
    size_t Calls(const char* function) { return sessions().Calls(function); }
};

struct ActiveUserCase {
    const char* name;
    Arrange arrange;
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
    GetParam().arrange(machine(), sessions());
    EXPECT_EQ(GetActiveUserSid(), GetParam().expected);
    EXPECT_EQ(Calls("WTSEnumerateSessionsW"), GetParam().enumerations);
    EXPECT_EQ(Calls("WTSFreeMemory"), GetParam().listsFreed);
    EXPECT_EQ(ThreadName(), kServiceName);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, GetActiveUserSidTest,
    ::testing::Values(
        ActiveUserCase{"ConsoleUser",
                       [](winsim::Machine&, Sessions& s) {
                           s.LogOnConsole(kAlice);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                       },
                       kAlice.sid, 0, 0},
        // Nobody at the console: the service's own account is named and found.
        ActiveUserCase{"NoConsoleUserGivesTheServiceAccount",
                       [](winsim::Machine&, Sessions& s) {
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                       },
                       kServiceSid, 0, 0},
        ActiveUserCase{"NoConsoleSessionGivesTheServiceAccount",
                       [](winsim::Machine&, Sessions& s) {
                           s.SetConsoleSession(Sessions::kNoConsoleSession);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                       },
                       kServiceSid, 0, 0},
        ActiveUserCase{"ServiceAccountLookupFailsThenRemoteUser",
                       [](winsim::Machine& m, Sessions& s) {
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED);
                       },
                       kBob.sid, 1, 1},
        ActiveUserCase{"ConsoleLookupFailsThenFirstActiveSession",
                       [](winsim::Machine& m, Sessions& s) {
                           s.AddSession(kConsole, L"Console", WTSDisconnected, kAlice);
                           s.AddSession(3, L"RDP-Tcp#1", WTSActive, kCarol);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED);
                       },
                       kBob.sid, 1, 1},
        // The active session found may be the console itself; it is asked again.
        ActiveUserCase{"ConsoleLookupFailsOnceThenConsoleAgain",
                       [](winsim::Machine& m, Sessions& s) {
                           s.LogOnConsole(kAlice);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED);
                       },
                       kAlice.sid, 1, 1},
        ActiveUserCase{"NoActiveSession",
                       [](winsim::Machine& m, Sessions& s) {
                           s.AddSession(kConsole, L"Console", WTSDisconnected, kAlice);
                           s.AddSession(kRemote, L"RDP-Tcp#0", WTSDisconnected, kBob);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED);
                       },
                       L"", 1, 1},
        ActiveUserCase{"ActiveSessionUserNotFoundEither",
                       [](winsim::Machine& m, Sessions& s) {
                           s.LogOnConsole(kAlice);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED, 2);
                       },
                       L"", 1, 1},
        // No memory for the SID's buffer yields nothing; the enumeration then
        // finds the console as the first active session.
        ActiveUserCase{"NoMemoryForTheSidBuffer",
                       [](winsim::Machine& m, Sessions& s) {
                           s.LogOnConsole(kAlice);
                           m.Fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
                       },
                       kAlice.sid, 1, 1},
        ActiveUserCase{"EnumerationFails",
                       [](winsim::Machine& m, Sessions& s) {
                           s.LogOnConsole(kAlice);
                           m.Fail("LookupAccountNameW", ERROR_NONE_MAPPED);
                           m.Fail("WTSEnumerateSessionsW", ERROR_ACCESS_DENIED);
                       },
                       L"", 1, 0},
        // A name the 260-character buffer cannot hold reads as empty, which no
        // lookup maps; the console session is also the first active one.
        ActiveUserCase{
            "ConsoleNameTooLongForTheBuffer",
            [](winsim::Machine&, Sessions& s) {
                s.LogOnConsole({NameWithDomainOf(200, std::wstring(59, L'u')), kAlice.sid});
                s.AddSession(kRemote, L"RDP-Tcp#0", WTSActive, kBob);
            },
            L"", 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SessionNameCase {
    const char* name;
    Arrange arrange;
    uint32_t session;
    std::wstring expected;
    size_t reverts;
};

void PrintTo(const SessionNameCase& c, std::ostream* os) {
    *os << c.name;
}

class GetSessionUserNameTest : public ActiveConsoleUserTest,
                               public ::testing::WithParamInterface<SessionNameCase> {};

TEST_P(GetSessionUserNameTest, NamesTheSessionUserAndEndsTheImpersonation) {
    GetParam().arrange(machine(), sessions());
    EXPECT_EQ(GetSessionUserName(GetParam().session), GetParam().expected);
    EXPECT_EQ(Calls("RevertToSelf"), GetParam().reverts);
    EXPECT_EQ(ThreadName(), kServiceName);
}

const std::wstring kNameOf259 = NameWithDomainOf(200, std::wstring(58, L'u'));
const std::wstring kNameOf260 = NameWithDomainOf(200, std::wstring(59, L'u'));

INSTANTIATE_TEST_SUITE_P(
    SessionUsers, GetSessionUserNameTest,
    ::testing::Values(SessionNameCase{"LoggedOnUser",
                                      [](winsim::Machine&, Sessions& s) { s.LogOnConsole(kAlice); },
                                      kConsole, kAlice.name, 1},
                      SessionNameCase{"SessionWithoutUser", [](winsim::Machine&, Sessions&) {},
                                      kConsole, kServiceName, 0},
                      SessionNameCase{"MissingSession", [](winsim::Machine&, Sessions&) {}, 7,
                                      kServiceName, 0},
                      SessionNameCase{"ImpersonationRefused",
                                      [](winsim::Machine& m, Sessions& s) {
                                          s.LogOnConsole(kAlice);
                                          m.Fail("ImpersonateLoggedOnUser", ERROR_ACCESS_DENIED);
                                      },
                                      kConsole, kServiceName, 0},
                      SessionNameCase{"NameQueryFails",
                                      [](winsim::Machine& m, Sessions& s) {
                                          s.LogOnConsole(kAlice);
                                          m.Fail("GetUserNameExW", ERROR_NONE_MAPPED);
                                      },
                                      kConsole, L"", 1},
                      SessionNameCase{"NameFillsTheBuffer",
                                      [](winsim::Machine&, Sessions& s) {
                                          s.LogOnConsole({kNameOf259, kAlice.sid});
                                      },
                                      kConsole, kNameOf259, 1},
                      SessionNameCase{"NameOneCharacterTooLong",
                                      [](winsim::Machine&, Sessions& s) {
                                          s.LogOnConsole({kNameOf260, kAlice.sid});
                                      },
                                      kConsole, L"", 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SidCase {
    const char* name;
    Arrange arrange;
    std::wstring account;
    std::wstring expected;
};

void PrintTo(const SidCase& c, std::ostream* os) {
    *os << c.name;
}

class GetUserSidStringTest : public ActiveConsoleUserTest,
                             public ::testing::WithParamInterface<SidCase> {};

// One lookup only: what does not fit the fixed buffers is not retried.
TEST_P(GetUserSidStringTest, LooksUpOnceWithFixedBuffers) {
    GetParam().arrange(machine(), sessions());
    EXPECT_EQ(GetUserSidString(GetParam().account), GetParam().expected);
    EXPECT_EQ(Calls("LookupAccountNameW"), 1u);
}

const std::wstring kSidOf260Bytes = SidOfSubAuthorities(63);
const std::wstring kSidOf264Bytes = SidOfSubAuthorities(64);

INSTANTIATE_TEST_SUITE_P(
    Accounts, GetUserSidStringTest,
    ::testing::Values(
        SidCase{"FullName", [](winsim::Machine&, Sessions& s) { s.AddUser(kAlice); }, kAlice.name,
                kAlice.sid},
        SidCase{"UserNameAlone", [](winsim::Machine&, Sessions& s) { s.AddUser(kAlice); }, L"ALICE",
                kAlice.sid},
        SidCase{"ServiceAccount", [](winsim::Machine&, Sessions&) {}, kServiceName, kServiceSid},
        SidCase{"UnknownName", [](winsim::Machine&, Sessions&) {}, L"DESKTOP\\mallory", L""},
        SidCase{"EmptyName", [](winsim::Machine&, Sessions&) {}, L"", L""},
        SidCase{"SidFillsTheBuffer",
                [](winsim::Machine&, Sessions& s) {
                    s.AddUser({L"DESKTOP\\wide", kSidOf260Bytes});
                },
                L"DESKTOP\\wide", kSidOf260Bytes},
        SidCase{"SidFourBytesTooLarge",
                [](winsim::Machine&, Sessions& s) {
                    s.AddUser({L"DESKTOP\\wide", kSidOf264Bytes});
                },
                L"DESKTOP\\wide", L""},
        SidCase{"DomainFillsTheBuffer",
                [](winsim::Machine&, Sessions& s) {
                    s.AddUser({NameWithDomainOf(259, L"dave"), kBob.sid});
                },
                L"dave", kBob.sid},
        SidCase{"DomainOneCharacterTooLong",
                [](winsim::Machine&, Sessions& s) {
                    s.AddUser({NameWithDomainOf(260, L"dave"), kBob.sid});
                },
                L"dave", L""},
        SidCase{"LookupFails",
                [](winsim::Machine& m, Sessions& s) {
                    s.AddUser(kAlice);
                    m.Fail("LookupAccountNameW", ERROR_NOT_ENOUGH_MEMORY);
                },
                kAlice.name, L""},
        SidCase{"ConversionFails",
                [](winsim::Machine& m, Sessions& s) {
                    s.AddUser(kAlice);
                    m.Fail("ConvertSidToStringSidW", ERROR_NOT_ENOUGH_MEMORY);
                },
                kAlice.name, L""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
