#include "PipeOwner_win.h"

#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

// This process's own account: its token's user or the default owner of what it creates.
bool IsOwnAccount(PSID sid) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    for (const TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        DWORD bytes = 0;
        GetTokenInformation(token.get(), kind, nullptr, 0, &bytes);
        std::vector<ULONGLONG> buffer(bytes / sizeof(ULONGLONG) + 1);  // aligned for the record
        if (!GetTokenInformation(token.get(), kind, buffer.data(), bytes, &bytes)) {
            continue;
        }
        const PSID own = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                           : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        if (EqualSid(sid, own)) {
            return true;
        }
    }
    return false;
}

}  // namespace

PipeOwner GetPipeOwner(HANDLE pipe) {
    PSID owner = nullptr;  // within the descriptor
    LocalPtr<void> descriptor;
    LocalPtr<WCHAR> sid;
    if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, descriptor.put()) != ERROR_SUCCESS ||
        owner == nullptr || !ConvertSidToStringSidW(owner, sid.put())) {
        return {};
    }
    return {IsWellKnownSid(owner, WinLocalSystemSid) ||
                IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsOwnAccount(owner),
            sid.get()};
}
