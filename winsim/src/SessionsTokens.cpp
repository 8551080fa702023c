// Tokens and the calling thread's identity: DuplicateTokenEx, impersonation
// and GetUserNameExW.
#define SECURITY_WIN32
#include "SessionsState.h"

#include <security.h>

#include <cwchar>

using namespace winsim;

namespace {

constexpr const char* kImpersonationResource = "impersonation";

}  // namespace

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    if (CallFails("OpenProcessToken")) {
        return FALSE;
    }
    if (ProcessHandle != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TokenHandle == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *TokenHandle =
        Current().AddHandle(std::make_shared<TokenObject>(Sessions::ServiceAccount(), 0, true),
                            GrantedRights(DesiredAccess, kTokenRights));
    return TRUE;
}

BOOL WINAPI DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess, LPSECURITY_ATTRIBUTES,
                             SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                             PHANDLE phNewToken) {
    if (CallFails("DuplicateTokenEx")) {
        return FALSE;
    }
    const auto token = UsableToken(hExistingToken, TOKEN_DUPLICATE, TOKEN_DUPLICATE);
    if (token == nullptr) {
        return FALSE;
    }
    if (phNewToken == nullptr || ImpersonationLevel > SecurityDelegation ||
        (TokenType != TokenPrimary && TokenType != TokenImpersonation)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // 0 asks for the existing handle's rights.
    const DWORD granted = dwDesiredAccess == 0
                              ? Current().GrantedAccess(hExistingToken) & TOKEN_ALL_ACCESS
                              : GrantedRights(dwDesiredAccess, kTokenRights);
    *phNewToken = Current().AddHandle(
        std::make_shared<TokenObject>(token->user, token->sessionId, TokenType == TokenPrimary),
        granted);
    return TRUE;
}

BOOL WINAPI ImpersonateLoggedOnUser(HANDLE hToken) {
    if (CallFails("ImpersonateLoggedOnUser")) {
        return FALSE;
    }
    const auto token =
        UsableToken(hToken, TOKEN_QUERY | TOKEN_DUPLICATE, TOKEN_QUERY | TOKEN_IMPERSONATE);
    if (token == nullptr) {
        return FALSE;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    const bool started =
        state.impersonations.insert_or_assign(std::this_thread::get_id(), token->user).second;
    if (started) {
        Current().AcquireResource(kImpersonationResource);
    }
    return TRUE;
}

BOOL WINAPI RevertToSelf() {
    if (CallFails("RevertToSelf")) {
        return FALSE;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    if (state.impersonations.erase(std::this_thread::get_id()) != 0) {
        Current().ReleaseResource(kImpersonationResource);
    }
    return TRUE;
}

BOOLEAN WINAPI GetUserNameExW(EXTENDED_NAME_FORMAT NameFormat, LPWSTR lpNameBuffer, PULONG nSize) {
    if (CallFails("GetUserNameExW")) {
        return FALSE;
    }
    if (nSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (NameFormat != NameSamCompatible) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    const std::wstring name = ThreadIdentity().name;
    const ULONG needed = ULONG(name.size() + 1);
    if (lpNameBuffer == nullptr || *nSize < needed) {
        *nSize = needed;
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    std::wmemcpy(lpNameBuffer, name.c_str(), needed);
    *nSize = needed - 1;
    return TRUE;
}
