// Terminal services: the console session, session user tokens and the list of
// sessions.
#include "SessionsState.h"

#include <cwchar>
#include <new>

using namespace winsim;

namespace {

constexpr DWORD kSessionListVersion = 1;
constexpr const char* kSessionListResource = "WTS memory";

}  // namespace

DWORD WINAPI WTSGetActiveConsoleSessionId() {
    if (CallFails("WTSGetActiveConsoleSessionId")) {
        return Sessions::kNoConsoleSession;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    return state.consoleSession;
}

BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
    if (CallFails("WTSQueryUserToken")) {
        return FALSE;
    }
    if (phToken == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<UserAccount> user;
    {
        Sessions::State& state = SessionsState();
        std::lock_guard lock(state.mutex);
        const auto session = state.sessions.find(SessionId);
        if (session == state.sessions.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        user = session->second.user;
    }
    if (!user) {
        SetLastError(ERROR_NO_TOKEN);
        return FALSE;
    }
    *phToken = Current().AddHandle(std::make_shared<TokenObject>(*user, SessionId, true));
    return TRUE;
}

// The list is one block: the records, then the window station names they
// point to.
BOOL WINAPI WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount) {
    if (CallFails("WTSEnumerateSessionsW")) {
        return FALSE;
    }
    if (hServer != WTS_CURRENT_SERVER_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (Reserved != 0 || Version != kSessionListVersion || ppSessionInfo == nullptr ||
        pCount == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    size_t bytes = state.sessions.size() * sizeof(WTS_SESSION_INFOW);
    for (const auto& [id, session] : state.sessions) {
        bytes += (session.winStationName.size() + 1) * sizeof(WCHAR);
    }
    std::vector<std::byte> block(bytes);
    auto* records = reinterpret_cast<WTS_SESSION_INFOW*>(block.data());
    auto* names = reinterpret_cast<WCHAR*>(records + state.sessions.size());
    size_t index = 0;
    for (const auto& [id, session] : state.sessions) {
        std::wmemcpy(names, session.winStationName.c_str(), session.winStationName.size() + 1);
        new (&records[index++]) WTS_SESSION_INFOW{id, names, session.state};
        names += session.winStationName.size() + 1;
    }
    *pCount = DWORD(state.sessions.size());
    *ppSessionInfo = records;
    state.sessionLists.emplace(records, std::move(block));
    Current().AcquireResource(kSessionListResource);
    return TRUE;
}

void WINAPI WTSFreeMemory(PVOID pMemory) {
    if (CallFails("WTSFreeMemory")) {
        return;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    if (state.sessionLists.erase(pMemory) != 0) {
        Current().ReleaseResource(kSessionListResource);
    }
}
