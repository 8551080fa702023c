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

// Each case below arranges one account (at the console, or known to the
// machine) and at most one failing platform call.
struct SessionNameCase {
    const char* name;
    std::optional<UserAccount> consoleUser;
    const char* failing;
    std::wstring expected;
    size_t reverts;
};

void PrintTo(const SessionNameCase& c, std::ostream* os) {
    *os << c.name;
}

class GetSessionUserNameTest : public ActiveConsoleUserTest,
                               public ::testing::WithParamInterface<SessionNameCase> {};

TEST_P(GetSessionUserNameTest, NamesTheSessionUserAndEndsTheImpersonation) {
    if (GetParam().consoleUser) {
        sessions().LogOnConsole(*GetParam().consoleUser);
    }
    if (GetParam().failing != nullptr) {
        machine().Fail(GetParam().failing, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(GetSessionUserName(kConsole), GetParam().expected);
    EXPECT_EQ(Calls("RevertToSelf"), GetParam().reverts);
    EXPECT_EQ(ThreadName(), kServiceName);
}

const UserAccount kNameOf259{NameWithDomainOf(200, std::wstring(58, L'u')), kAlice.sid};
const UserAccount kNameOf260{NameWithDomainOf(200, std::wstring(59, L'u')), kAlice.sid};

INSTANTIATE_TEST_SUITE_P(
    SessionUsers, GetSessionUserNameTest,
    ::testing::Values(
        SessionNameCase{"LoggedOnUser", kAlice, nullptr, kAlice.name, 1},
        SessionNameCase{"SessionWithoutUser", std::nullopt, nullptr, kServiceName, 0},
        SessionNameCase{"ImpersonationRefused", kAlice, "ImpersonateLoggedOnUser", kServiceName, 0},
        SessionNameCase{"NameQueryFails", kAlice, "GetUserNameExW", L"", 1},
        SessionNameCase{"NameFillsTheBuffer", kNameOf259, nullptr, kNameOf259.name, 1},
        SessionNameCase{"NameOneCharacterTooLong", kNameOf260, nullptr, L"", 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SidCase {
    const char* name;
    std::optional<UserAccount> user;
    std::wstring account;
    std::wstring expected;
    const char* failing;
};

void PrintTo(const SidCase& c, std::ostream* os) {
    *os << c.name;
}

class GetUserSidStringTest : public ActiveConsoleUserTest,
                             public ::testing::WithParamInterface<SidCase> {};

// One lookup only: what does not fit the fixed buffers is not retried.
TEST_P(GetUserSidStringTest, LooksUpOnceWithFixedBuffers) {
    if (GetParam().user) {
        sessions().AddUser(*GetParam().user);
    }
    if (GetParam().failing != nullptr) {
        machine().Fail(GetParam().failing, ERROR_NOT_ENOUGH_MEMORY);
    }
    EXPECT_EQ(GetUserSidString(GetParam().account), GetParam().expected);
    EXPECT_EQ(Calls("LookupAccountNameW"), 1u);
}

const UserAccount kSidOf260Bytes{L"DESKTOP\\wide", SidOfSubAuthorities(63)};
const UserAccount kSidOf264Bytes{L"DESKTOP\\wide", SidOfSubAuthorities(64)};
const UserAccount kDomainOf259{NameWithDomainOf(259, L"dave"), kBob.sid};
const UserAccount kDomainOf260{NameWithDomainOf(260, L"dave"), kBob.sid};

INSTANTIATE_TEST_SUITE_P(
    Accounts, GetUserSidStringTest,
    ::testing::Values(
        SidCase{"FullName", kAlice, kAlice.name, kAlice.sid, nullptr},
        SidCase{"EmptyName", std::nullopt, L"", L"", nullptr},
        SidCase{"SidFillsTheBuffer", kSidOf260Bytes, kSidOf260Bytes.name, kSidOf260Bytes.sid,
                nullptr},
        SidCase{"SidFourBytesTooLarge", kSidOf264Bytes, kSidOf264Bytes.name, L"", nullptr},
        SidCase{"DomainFillsTheBuffer", kDomainOf259, L"dave", kBob.sid, nullptr},
        SidCase{"DomainOneCharacterTooLong", kDomainOf260, L"dave", L"", nullptr},
        SidCase{"ConversionFails", kAlice, kAlice.name, L"", "ConvertSidToStringSidW"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
