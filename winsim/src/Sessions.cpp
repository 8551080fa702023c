// The sessions area's test API and the helpers its Win32 functions share.
#include "SessionsState.h"

#include <algorithm>
#include <cwctype>
#include <stdexcept>

namespace winsim {

namespace {

constexpr uint32_t kServicesSession = 0;
constexpr uint32_t kConsoleSession = 1;

}  // namespace

bool CaseInsensitiveLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return std::towupper(x) < std::towupper(y); });
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    CaseInsensitiveLess less;
    return !less(a, b) && !less(b, a);
}

Sessions::Sessions() : state_(std::make_unique<State>()) {
    const UserAccount service = ServiceAccount();
    state_->accounts.emplace(service.name, service);
    state_->sessions[kServicesSession] = {L"Services", WTSDisconnected, std::nullopt};
    state_->sessions[kConsoleSession] = {L"Console", WTSConnected, std::nullopt};
    state_->consoleSession = kConsoleSession;
}

Sessions::~Sessions() = default;

UserAccount Sessions::ServiceAccount() {
    return {L"NT AUTHORITY\\SYSTEM", L"S-1-5-18"};
}

void Sessions::AddUser(const UserAccount& user) {
    if (SidFromString(user.sid).empty()) {
        throw std::invalid_argument("not a SID string: " + Narrow(user.sid));
    }
    std::lock_guard lock(state_->mutex);
    state_->accounts.insert_or_assign(user.name, user);
}

void Sessions::AddSession(uint32_t id, const std::wstring& winStationName,
                          WTS_CONNECTSTATE_CLASS state, const std::optional<UserAccount>& user) {
    if (user) {
        AddUser(*user);
    }
    std::lock_guard lock(state_->mutex);
    state_->sessions.insert_or_assign(id, SessionInfo{winStationName, state, user});
}

void Sessions::RemoveSession(uint32_t id) {
    std::lock_guard lock(state_->mutex);
    state_->sessions.erase(id);
}

void Sessions::SetConsoleSession(uint32_t id) {
    std::lock_guard lock(state_->mutex);
    state_->consoleSession = id;
}

void Sessions::LogOnConsole(const UserAccount& user, uint32_t id) {
    AddSession(id, L"Console", WTSActive, user);
    SetConsoleSession(id);
}

size_t Sessions::Calls(const std::string& function) const {
    std::lock_guard lock(state_->mutex);
    const auto found = state_->calls.find(function);
    return found == state_->calls.end() ? 0 : found->second;
}

Sessions::State& SessionsState() {
    return Current().Extension<Sessions>().state();
}

bool CallFails(const char* function) {
    Machine& machine = Current();
    {
        Sessions::State& state = machine.Extension<Sessions>().state();
        std::lock_guard lock(state.mutex);
        ++state.calls[function];
    }
    uint32_t error = 0;
    if (!machine.TakeFault(function, error)) {
        return false;
    }
    SetLastError(error);
    return true;
}

std::shared_ptr<TokenObject> UsableToken(HANDLE handle, DWORD primaryRights,
                                         DWORD impersonationRights) {
    Machine& machine = Current();
    const auto token = machine.LookupAs<TokenObject>(handle);
    const bool primary = token == nullptr || token->primary;
    return ObjectWithRights<TokenObject>(machine, handle,
                                         primary ? primaryRights : impersonationRights);
}

UserAccount ThreadIdentity() {
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    const auto found = state.impersonations.find(std::this_thread::get_id());
    return found == state.impersonations.end() ? Sessions::ServiceAccount() : found->second;
}

std::wstring DomainPart(const std::wstring& samName) {
    const size_t slash = samName.find(L'\\');
    return slash == std::wstring::npos ? std::wstring() : samName.substr(0, slash);
}

std::wstring UserPart(const std::wstring& samName) {
    const size_t slash = samName.find(L'\\');
    return slash == std::wstring::npos ? samName : samName.substr(slash + 1);
}

}  // namespace winsim
