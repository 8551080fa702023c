// Users, SIDs and sessions: what the simulated machine must answer as Windows
// does.
//
// Real Win32 here runs in a Wine prefix as an ordinary user, so these tests
// stay with what both can do: the calling thread's own name, looking that name
// up, and listing sessions. Where Wine differs from Windows and from the
// simulation, the tests below do not go:
// - WTSEnumerateSessionsW succeeds with an empty list (for any version); the
//   simulation lists its sessions and accepts only version 1.
// - LookupAccountNameW resolves an empty name to the BUILTIN domain; the
//   simulation answers ERROR_NONE_MAPPED.
// - ConvertSidToStringSidW refuses SIDs of more than 15 sub-authorities; the
//   simulation converts up to 255 so that tests can build SIDs that overflow a
//   caller's buffer.
// - WTSQueryUserToken hands back the process's own token for any session id.
// - CreateEnvironmentBlock needs only TOKEN_QUERY of a primary token, where
//   Windows documents TOKEN_DUPLICATE too; the tests below take it away together.
#define SECURITY_WIN32
#include "conformance/ConformanceHelpers.h"

#include <windows.h>
#include <sddl.h>
#include <security.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <string>

namespace {

using conformance::Code;

constexpr DWORD kBufferSize = 260;
constexpr size_t kSidHeaderBytes = 8;

std::wstring OwnName() {
    std::array<WCHAR, kBufferSize> name{};
    ULONG size = kBufferSize;
    if (!GetUserNameExW(NameSamCompatible, name.data(), &size)) {
        return {};
    }
    return name.data();
}

struct Lookup {
    BOOL found = FALSE;
    DWORD error = 0;
    std::array<BYTE, kBufferSize> sid{};
    DWORD sidSize = kBufferSize;
    std::array<WCHAR, kBufferSize> domain{};
    DWORD domainSize = kBufferSize;
    SID_NAME_USE use = SidTypeUnknown;
};

Lookup LookUp(const std::wstring& name) {
    Lookup lookup;
    SetLastError(0);
    lookup.found = LookupAccountNameW(nullptr, name.c_str(), lookup.sid.data(), &lookup.sidSize,
                                      lookup.domain.data(), &lookup.domainSize, &lookup.use);
    lookup.error = GetLastError();
    return lookup;
}

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    std::wstring copy = text;
    EXPECT_EQ(LocalFree(text), nullptr);
    return copy;
}

TEST(SessionsConformance, OwnNameIsDomainBackslashUserAndShortBuffersAskForRoomForIt) {
    const std::wstring name = OwnName();
    const size_t slash = name.find(L'\\');
    ASSERT_NE(slash, std::wstring::npos);
    EXPECT_GT(slash, 0u);
    EXPECT_LT(slash + 1, name.size());

    for (const ULONG capacity : {ULONG{0}, ULONG(name.size())}) {
        std::array<WCHAR, kBufferSize> buffer{};
        ULONG size = capacity;
        SetLastError(0);
        EXPECT_FALSE(GetUserNameExW(NameSamCompatible, buffer.data(), &size)) << capacity;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA)) << capacity;
        EXPECT_EQ(size, name.size() + 1) << capacity;
    }
    // Room for the terminator is enough, and the length without it comes back.
    std::array<WCHAR, kBufferSize> exact{};
    ULONG size = ULONG(name.size() + 1);
    EXPECT_TRUE(GetUserNameExW(NameSamCompatible, exact.data(), &size));
    EXPECT_EQ(std::wstring(exact.data()), name);
    EXPECT_EQ(size, name.size());
}

TEST(SessionsConformance, OwnNameLooksUpToAUserSidInItsDomain) {
    const std::wstring name = OwnName();
    ASSERT_FALSE(name.empty());
    const Lookup lookup = LookUp(name);
    ASSERT_TRUE(lookup.found) << lookup.error;
    const std::wstring domain = lookup.domain.data();
    EXPECT_EQ(conformance::Lower(domain), conformance::Lower(name.substr(0, name.find(L'\\'))));
    EXPECT_EQ(lookup.domainSize, domain.size());
    // Binary layout: revision 1, sub-authority count, six authority bytes, then
    // the sub-authorities; the size written back is the SID's own.
    EXPECT_EQ(lookup.sid[0], SID_REVISION);
    EXPECT_EQ(lookup.sidSize, kSidHeaderBytes + lookup.sid[1] * sizeof(DWORD));
    const std::wstring text = SidText(const_cast<BYTE*>(lookup.sid.data()));
    EXPECT_EQ(text.rfind(L"S-1-5-", 0), 0u) << text;
}

TEST(SessionsConformance, SidStringsFollowTheBinaryLayout) {
    struct Case {
        std::array<BYTE, 16> sid;
        const wchar_t* text;
    };
    const Case cases[] = {
        {{1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}, L"S-1-5-18"},
        {{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0}, L"S-1-5-32-544"},
        {{1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, L"S-1-5-21-4294967295"},
    };
    for (const Case& c : cases) {
        std::array<BYTE, 16> sid = c.sid;
        EXPECT_EQ(SidText(sid.data()), c.text);
    }
}

// A duplicate holds the rights it is asked for: 0 asks for the original
// handle's, MAXIMUM_ALLOWED for all the caller may have. A user's environment
// needs TOKEN_QUERY and holds this process's own variables only when asked to
// inherit them; starting a process needs TOKEN_ASSIGN_PRIMARY as well.
TEST(SessionsConformance, DuplicatedTokenHoldsTheRightsAskedFor) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"NxConformanceMark", L"1"));
    UniqueHandle own;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, own.put()));
    struct Case {
        DWORD access;
        BOOL inherit;
        BOOL built;
    };
    for (const Case& c : {Case{TOKEN_DUPLICATE, TRUE, FALSE}, Case{0, FALSE, TRUE},
                          Case{MAXIMUM_ALLOWED, TRUE, TRUE}}) {
        SCOPED_TRACE(c.access);
        UniqueHandle token;
        ASSERT_TRUE(DuplicateTokenEx(own.get(), c.access, nullptr, SecurityIdentification,
                                     TokenPrimary, token.put()));
        LPVOID block = nullptr;
        EXPECT_EQ(CreateEnvironmentBlock(&block, token.get(), c.inherit), c.built);
        if (block == nullptr) {
            EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
        } else {
            bool marked = false;
            for (auto entry = static_cast<const wchar_t*>(block); *entry != L'\0';
                 entry += std::wcslen(entry) + 1) {
                marked = marked || std::wstring(entry) == L"NxConformanceMark=1";
            }
            EXPECT_EQ(marked, c.inherit != FALSE);
            EXPECT_TRUE(DestroyEnvironmentBlock(block));
        }
        if (c.access == 0) {  // the original's rights, which do not assign a token to a process
            std::wstring commandLine = L"\"" + conformance::OwnPath() + L"\" --gtest_list_tests";
            STARTUPINFOW startupInfo{};
            startupInfo.cb = sizeof(startupInfo);
            PROCESS_INFORMATION info{};
            EXPECT_FALSE(CreateProcessAsUserW(token.get(), nullptr, commandLine.data(), nullptr,
                                              nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                                              &startupInfo, &info));
            EXPECT_EQ(GetLastError(), Code(ERROR_ACCESS_DENIED));
        }
    }
    EXPECT_TRUE(SetEnvironmentVariableW(L"NxConformanceMark", nullptr));
}

}  // namespace
