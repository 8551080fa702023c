// The console user's SID on a real Win32 (under Wine in a prefix, as an
// ordinary user). Wine's WTSQueryUserToken hands back the process's own token
// for any session, and on Windows an ordinary user is refused the token and
// the lookup falls back to the caller's own account: either way the answer is
// the SID of the user this test runs as.
#define SECURITY_WIN32
#include "process/ActiveConsoleUser.h"

#include <windows.h>
#include <sddl.h>
#include <security.h>
#include <wtsapi32.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring ProcessUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    const std::unique_ptr<void, decltype(&CloseHandle)> owner(token, &CloseHandle);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return {};
    }
    const std::unique_ptr<WCHAR, decltype(&LocalFree)> textOwner(text, &LocalFree);
    return text;
}

std::wstring OwnName() {
    std::array<WCHAR, 260> name{};
    ULONG size = ULONG(name.size());
    return GetUserNameExW(NameSamCompatible, name.data(), &size) ? name.data() : L"";
}

TEST(ActiveConsoleUserWindows, ActiveUserSidIsTheSidOfTheUserRunningTheTest) {
    const std::wstring expected = ProcessUserSid();
    ASSERT_EQ(expected.rfind(L"S-1-5-", 0), 0u) << expected;
    EXPECT_EQ(GetActiveUserSid(), expected);
}

TEST(ActiveConsoleUserWindows, ConsoleSessionUserIsTheCallersOwnName) {
    const std::wstring own = OwnName();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(GetSessionUserName(WTSGetActiveConsoleSessionId()), own);
    // The impersonation is over: the thread names itself as before.
    EXPECT_EQ(OwnName(), own);
}

TEST(ActiveConsoleUserWindows, OwnNameMapsToTheProcessSidAndUnknownNamesToNothing) {
    EXPECT_EQ(GetUserSidString(OwnName()), ProcessUserSid());
    EXPECT_EQ(GetUserSidString(L"nx-no-such-account-4711"), L"");
}

}  // namespace
