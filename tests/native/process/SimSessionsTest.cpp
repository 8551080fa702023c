// The simulated sessions area beyond what the conformance suite can check on
// a real machine: session tokens, per-thread impersonation, the session list,
// environment blocks, and faults injected by function name.
#define SECURITY_WIN32
#include "support/SimTest.h"

#include <winsim/SimSessions.h>
#include <windows.h>
#include <sddl.h>
#include <security.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using ::testing::ElementsAre;
using winsim::Sessions;
using winsim::TokenObject;
using winsim::UserAccount;

const UserAccount kAlice{L"DESKTOP\\alice", L"S-1-5-21-100-200-300-1001"};
const UserAccount kBob{L"DESKTOP\\bob", L"S-1-5-21-100-200-300-1002"};

std::wstring ThreadName() {
    std::array<WCHAR, 260> name{};
    ULONG size = ULONG(name.size());
    return GetUserNameExW(NameSamCompatible, name.data(), &size) ? name.data() : L"";
}

std::vector<std::wstring> BlockEntries(const void* block) {
    std::vector<std::wstring> entries;
    for (auto* entry = static_cast<const WCHAR*>(block); *entry != L'\0';
         entry += entries.back().size() + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

std::wstring UpperName(const std::wstring& entry) {
    std::wstring name = entry.substr(0, entry.find(L'='));
    for (wchar_t& unit : name) {
        unit = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(unit)));
    }
    return name;
}

std::wstring Variable(const std::vector<std::wstring>& entries, const std::wstring& name) {
    for (const auto& entry : entries) {
        if (entry.rfind(name + L"=", 0) == 0) {
            return entry.substr(name.size() + 1);
        }
    }
    return L"<unset>";
}

class SimSessionsTest : public SimTest {
protected:
    Sessions& sessions() { return machine().Extension<Sessions>(); }

    HANDLE UserToken(uint32_t session) {
        HANDLE token = nullptr;
        EXPECT_TRUE(WTSQueryUserToken(session, &token));
        return token;
    }
    // "id station state" of each session WTSEnumerateSessionsW lists, in its
    // order; the list counts as open until freed.
    std::vector<std::wstring> ListedSessions() {
        PWTS_SESSION_INFOW list = nullptr;
        DWORD count = 0;
        EXPECT_TRUE(WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count));
        EXPECT_THAT(machine().OpenHandleKinds(), ElementsAre("WTS memory"));
        std::vector<std::wstring> listed;
        for (DWORD i = 0; i < count; ++i) {
            listed.push_back(std::to_wstring(list[i].SessionId) + L" " + list[i].pWinStationName +
                             L" " + std::to_wstring(list[i].State));
        }
        WTSFreeMemory(list);
        return listed;
    }
};

TEST_F(SimSessionsTest, NewMachineIsAtTheLogonScreenAndSessionsAreListedById) {
    EXPECT_EQ(WTSGetActiveConsoleSessionId(), 1u);
    EXPECT_THAT(ListedSessions(), ElementsAre(L"0 Services 4", L"1 Console 1"));

    sessions().AddSession(5, L"RDP-Tcp#1", WTSActive, kBob);
    sessions().AddSession(2, L"RDP-Tcp#0", WTSIdle);
    sessions().RemoveSession(1);
    EXPECT_THAT(ListedSessions(), ElementsAre(L"0 Services 4", L"2 RDP-Tcp#0 5", L"5 RDP-Tcp#1 0"));
}

struct TokenQueryCase {
    const char* name;
    std::function<void(Sessions&)> arrange;
    uint32_t session;
    DWORD error;
};

class UserTokenQueryTest : public SimSessionsTest,
                           public ::testing::WithParamInterface<TokenQueryCase> {};

TEST_P(UserTokenQueryTest, FailsWithTheDocumentedError) {
    GetParam().arrange(sessions());
    HANDLE token = nullptr;
    SetLastError(0);
    EXPECT_FALSE(WTSQueryUserToken(GetParam().session, &token));
    EXPECT_EQ(GetLastError(), GetParam().error);
    EXPECT_EQ(token, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UserTokenQueryTest,
    ::testing::Values(TokenQueryCase{"NobodyLoggedOn", [](Sessions&) {}, 1, ERROR_NO_TOKEN},
                      TokenQueryCase{"ServicesSession", [](Sessions&) {}, 0, ERROR_NO_TOKEN},
                      TokenQueryCase{"NoSuchSession", [](Sessions&) {}, 9, ERROR_FILE_NOT_FOUND},
                      TokenQueryCase{
                          "NoConsole",
                          [](Sessions& s) { s.SetConsoleSession(Sessions::kNoConsoleSession); },
                          Sessions::kNoConsoleSession, ERROR_FILE_NOT_FOUND},
                      TokenQueryCase{"LoggedOff",
                                     [](Sessions& s) {
                                         s.LogOnConsole(kAlice);
                                         s.AddSession(1, L"Console", WTSConnected);
                                     },
                                     1, ERROR_NO_TOKEN}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimSessionsTest, SessionTokenAndItsDuplicatesCarryUserAndSession) {
    sessions().AddSession(3, L"RDP-Tcp#0", WTSActive, kBob);
    HANDLE token = UserToken(3);
    HANDLE primary = nullptr;
    HANDLE impersonation = nullptr;
    ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification,
                                 TokenPrimary, &primary));
    ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                                 TokenImpersonation, &impersonation));
    for (HANDLE handle : {token, primary, impersonation}) {
        const auto object = machine().LookupAs<TokenObject>(handle);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->user.name, kBob.name);
        EXPECT_EQ(object->user.sid, kBob.sid);
        EXPECT_EQ(object->sessionId, 3u);
    }
    EXPECT_TRUE(machine().LookupAs<TokenObject>(token)->primary);
    EXPECT_TRUE(machine().LookupAs<TokenObject>(primary)->primary);
    EXPECT_FALSE(machine().LookupAs<TokenObject>(impersonation)->primary);
    for (HANDLE handle : {token, primary, impersonation}) {
        EXPECT_TRUE(CloseHandle(handle));
    }
}

TEST_F(SimSessionsTest, DuplicatingSomethingElseIsAnInvalidHandle) {
    HANDLE copy = nullptr;
    EXPECT_FALSE(DuplicateTokenEx(reinterpret_cast<HANDLE>(0x1234), MAXIMUM_ALLOWED, nullptr,
                                  SecurityIdentification, TokenPrimary, &copy));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ImpersonateLoggedOnUser(reinterpret_cast<HANDLE>(0x1234)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SimSessionsTest, ImpersonationChangesOnlyTheCallingThreadUntilReverted) {
    sessions().LogOnConsole(kAlice);
    HANDLE token = UserToken(1);
    ASSERT_TRUE(ImpersonateLoggedOnUser(token));
    EXPECT_TRUE(CloseHandle(token));  // the impersonation outlives the handle
    EXPECT_EQ(ThreadName(), kAlice.name);
    std::wstring otherThread;
    std::thread([&] { otherThread = ThreadName(); }).join();
    EXPECT_EQ(otherThread, L"NT AUTHORITY\\SYSTEM");
    EXPECT_THAT(machine().OpenHandleKinds(), ElementsAre("impersonation"));
    EXPECT_TRUE(RevertToSelf());
    EXPECT_EQ(ThreadName(), L"NT AUTHORITY\\SYSTEM");
    EXPECT_TRUE(RevertToSelf());  // nothing to end is not an error
}

// Without inheriting, the block holds the user's variables only; inheriting
// keeps the service's own under them.
TEST_F(SimSessionsTest, UserEnvironmentBlockIsSortedAndInheritsServiceVariablesOnRequest) {
    sessions().LogOnConsole(kAlice);
    sessions().SetServiceEnvironmentVariable(L"NX_SERVICE_ONLY", L"1");
    HANDLE token = UserToken(1);
    for (const BOOL inherit : {FALSE, TRUE}) {
        SCOPED_TRACE(inherit);
        void* block = nullptr;
        ASSERT_TRUE(CreateEnvironmentBlock(&block, token, inherit));
        const std::vector<std::wstring> entries = BlockEntries(block);
        EXPECT_EQ(Variable(entries, L"USERNAME"), L"alice");
        EXPECT_EQ(Variable(entries, L"USERDOMAIN"), L"DESKTOP");
        EXPECT_EQ(Variable(entries, L"USERPROFILE"), L"C:\\Users\\alice");
        EXPECT_EQ(Variable(entries, L"HOMEPATH"), L"\\Users\\alice");
        EXPECT_EQ(Variable(entries, L"SystemRoot"), L"C:\\Windows");
        EXPECT_EQ(Variable(entries, L"NX_SERVICE_ONLY"), inherit ? L"1" : L"<unset>");
        // Windows keeps the block sorted by name without regard to case.
        EXPECT_TRUE(std::is_sorted(
            entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return UpperName(a) < UpperName(b); }));
        EXPECT_THAT(machine().OpenHandleKinds(), ::testing::Contains("environment block"));
        EXPECT_TRUE(DestroyEnvironmentBlock(block));
        EXPECT_FALSE(DestroyEnvironmentBlock(block));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_TRUE(CloseHandle(token));
}

TEST_F(SimSessionsTest, MalformedSidStringsAreRefused) {
    for (const wchar_t* sid :
         {L"", L"S-1", L"X-1-5-18", L"S-1-5-", L"S-1-5-x", L"S-1-5-4294967296"}) {
        EXPECT_THROW(sessions().AddUser({L"DESKTOP\\odd", sid}), std::invalid_argument)
            << winsim::Narrow(sid);
    }
}

struct FaultCase {
    const char* function;
    std::function<bool()> call;  // true when the call reported failure
};

class SessionsFaultTest : public SimSessionsTest,
                          public ::testing::WithParamInterface<FaultCase> {};

// Every function fails on demand, with the error asked for, and only as often
// as asked.
TEST_P(SessionsFaultTest, FailsOnceWithTheInjectedError) {
    sessions().LogOnConsole(kAlice);
    constexpr DWORD kInjected = 0x4711;
    machine().Fail(GetParam().function, kInjected);
    SetLastError(0);
    EXPECT_TRUE(GetParam().call());
    EXPECT_EQ(GetLastError(), kInjected);
    EXPECT_FALSE(GetParam().call());
}

bool TokenCallFails(const std::function<BOOL(HANDLE)>& call) {
    HANDLE token = nullptr;
    WTSQueryUserToken(1, &token);
    const bool failed = !call(token);
    if (token != nullptr) {
        CloseHandle(token);
    }
    return failed;
}

INSTANTIATE_TEST_SUITE_P(
    ByName, SessionsFaultTest,
    ::testing::Values(
        FaultCase{"WTSGetActiveConsoleSessionId",
                  [] { return WTSGetActiveConsoleSessionId() == Sessions::kNoConsoleSession; }},
        FaultCase{"WTSQueryUserToken",
                  [] { return TokenCallFails([](HANDLE token) { return token != nullptr; }); }},
        FaultCase{"DuplicateTokenEx",
                  [] {
                      return TokenCallFails([](HANDLE token) {
                          HANDLE copy = nullptr;
                          const BOOL made =
                              DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr,
                                               SecurityIdentification, TokenPrimary, &copy);
                          if (made) {
                              CloseHandle(copy);
                          }
                          return made;
                      });
                  }},
        FaultCase{"ImpersonateLoggedOnUser",
                  [] {
                      return TokenCallFails([](HANDLE token) {
                          const BOOL done = ImpersonateLoggedOnUser(token);
                          RevertToSelf();
                          return done;
                      });
                  }},
        FaultCase{"RevertToSelf", [] { return !RevertToSelf(); }},
        FaultCase{"GetUserNameExW", [] { return ThreadName().empty(); }},
        FaultCase{"LookupAccountNameW",
                  [] {
                      std::array<BYTE, 260> sid{};
                      std::array<WCHAR, 260> domain{};
                      DWORD sidSize = 260;
                      DWORD domainSize = 260;
                      SID_NAME_USE use = SidTypeUnknown;
                      return !LookupAccountNameW(nullptr, kAlice.name.c_str(), sid.data(), &sidSize,
                                                 domain.data(), &domainSize, &use);
                  }},
        FaultCase{"ConvertSidToStringSidW",
                  [] {
                      std::array<BYTE, 12> sid{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
                      LPWSTR text = nullptr;
                      const BOOL made = ConvertSidToStringSidW(sid.data(), &text);
                      LocalFree(text);
                      return !made;
                  }},
        FaultCase{"WTSEnumerateSessionsW",
                  [] {
                      PWTS_SESSION_INFOW list = nullptr;
                      DWORD count = 0;
                      const BOOL listed =
                          WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count);
                      WTSFreeMemory(list);
                      return !listed;
                  }},
        FaultCase{"CreateEnvironmentBlock",
                  [] {
                      return TokenCallFails([](HANDLE token) {
                          void* block = nullptr;
                          const BOOL made = CreateEnvironmentBlock(&block, token, FALSE);
                          if (made) {
                              DestroyEnvironmentBlock(block);
                          }
                          return made;
                      });
                  }}),
    [](const auto& info) { return std::string(info.param.function); });

}  // namespace
