#define SECURITY_WIN32
#include "process/ActiveConsoleUser.h"

#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"

#include <windows.h>
#include <sddl.h>
#include <security.h>
#include <wtsapi32.h>

#include <array>
#include <new>
#include <optional>

namespace {

// Fixed buffers: an account whose name, SID or domain does not fit yields
// nothing rather than a second, larger attempt.
constexpr ULONG kNameChars = 260;
constexpr DWORD kSidBytes = 260;
constexpr DWORD kDomainChars = 260;
constexpr DWORD kSessionListVersion = 1;

// Acts as the token's user on the calling thread until destroyed.
class Impersonation {
public:
    explicit Impersonation(HANDLE token) : active_(ImpersonateLoggedOnUser(token) != FALSE) {}
    ~Impersonation() {
        if (active_) {
            RevertToSelf();
        }
    }
    Impersonation(const Impersonation&) = delete;
    Impersonation& operator=(const Impersonation&) = delete;

private:
    const bool active_;
};

using SessionList = UniqueAny<PWTS_SESSION_INFOW, &WTSFreeMemory>;

std::optional<DWORD> FirstActiveSession() {
    // Released whenever the platform handed a list back, even on failure.
    SessionList sessions;
    DWORD count = 0;
    if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, kSessionListVersion, sessions.put(),
                               &count)) {
        return std::nullopt;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (sessions.get()[i].State == WTSActive) {
            return sessions.get()[i].SessionId;
        }
    }
    return std::nullopt;
}

std::wstring SessionUserSid(DWORD sessionId) {
    return GetUserSidString(GetSessionUserName(sessionId));
}

}  // namespace

std::wstring GetSessionUserName(uint32_t sessionId) {
    try {
        UniqueHandle token;
        std::optional<Impersonation> impersonation;
        if (WTSQueryUserToken(sessionId, token.put())) {
            impersonation.emplace(token.get());
        }
        std::array<WCHAR, kNameChars> name{};
        ULONG size = kNameChars;
        // Unchecked: on failure the zero-filled buffer reads as an empty name.
        GetUserNameExW(NameSamCompatible, name.data(), &size);
        return name.data();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::wstring GetUserSidString(const std::wstring& accountName) {
    try {
        const LocalPtr<BYTE> sid = AllocateZeroed<BYTE>(kSidBytes);
        if (!sid) {
            return {};
        }
        std::array<WCHAR, kDomainChars> domain{};
        DWORD sidSize = kSidBytes;
        DWORD domainSize = kDomainChars;
        SID_NAME_USE use = SidTypeUnknown;
        if (!LookupAccountNameW(nullptr, accountName.c_str(), sid.get(), &sidSize, domain.data(),
                                &domainSize, &use)) {
            return {};
        }
        LocalPtr<WCHAR> text;
        if (!ConvertSidToStringSidW(sid.get(), text.put())) {
            return {};
        }
        return text.get();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::wstring GetActiveUserSid() {
    std::wstring sid = SessionUserSid(WTSGetActiveConsoleSessionId());
    if (!sid.empty()) {
        return sid;
    }
    const std::optional<DWORD> active = FirstActiveSession();
    return active ? SessionUserSid(*active) : std::wstring();
}
