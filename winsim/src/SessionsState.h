// State of the simulated sessions area and helpers its source files share.
#pragma once

#include "AccessRights.h"

#include <winsim/SimSessions.h>
#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace winsim {

// Account names, environment names and the like compare without case, as
// Windows compares them.
struct CaseInsensitiveLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b);

// Windows' meaning of the generic rights for tokens.
inline constexpr GenericMapping kTokenRights{TOKEN_READ, TOKEN_WRITE, TOKEN_EXECUTE,
                                             TOKEN_ALL_ACCESS};

struct SessionInfo {
    std::wstring winStationName;
    WTS_CONNECTSTATE_CLASS state;
    std::optional<UserAccount> user;
};

struct Sessions::State {
    mutable std::mutex mutex;
    std::map<std::wstring, UserAccount, CaseInsensitiveLess> accounts;  // by name
    std::map<uint32_t, SessionInfo> sessions;                           // ordered by id
    uint32_t consoleSession = kNoConsoleSession;
    std::map<std::thread::id, UserAccount> impersonations;
    std::map<std::wstring, std::wstring, CaseInsensitiveLess> serviceEnvironment;
    // Blocks handed to callers, keyed by the address they were given.
    std::map<const void*, std::vector<std::byte>> sessionLists;
    std::map<const void*, std::vector<WCHAR>> environmentBlocks;
    std::map<std::string, size_t> calls;
};

// The current machine's sessions area.
Sessions::State& SessionsState();

// Starts a simulated call: counts it and, when a fault is due, sets the last
// error and returns true so that the function returns its failure value.
bool CallFails(const char* function);

// The token behind a handle that holds the rights its use needs, by the
// token's type; null, with the last error set, otherwise.
std::shared_ptr<TokenObject> UsableToken(HANDLE handle, DWORD primaryRights,
                                         DWORD impersonationRights);

// The account the calling thread acts for: the user it impersonates, or the
// service's own account.
UserAccount ThreadIdentity();

// Parts of a NameSamCompatible name, "DOMAIN\user".
std::wstring DomainPart(const std::wstring& samName);
std::wstring UserPart(const std::wstring& samName);

// The binary layout of a SID: revision, sub-authority count, 48-bit identifier
// authority (big-endian), then the 32-bit sub-authorities. Empty when the text
// is not a SID string.
std::vector<BYTE> SidFromString(const std::wstring& text);

}  // namespace winsim
