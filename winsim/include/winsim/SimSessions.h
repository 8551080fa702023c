// Sessions, users and tokens of the simulated machine (test-facing API and the
// token object that other simulated subsystems read).
//
// Tests reach the API through the machine: machine.Extension<winsim::Sessions>().
#pragma once

#include <winsim/Machine.h>
#include <wtsapi32.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace winsim {

// A user account known to the machine.
struct UserAccount {
    std::wstring name;  // NameSamCompatible form, e.g. L"DESKTOP\\alice"
    std::wstring sid;   // string form, e.g. L"S-1-5-21-1-2-3-1001"
};

// An access token handle's object. CreateProcessAsUserW reads user and session.
class TokenObject : public Object {
public:
    TokenObject(UserAccount user, uint32_t sessionId, bool primary)
        : user(std::move(user)), sessionId(sessionId), primary(primary) {}
    const char* Kind() const override { return "token"; }
    const UserAccount user;
    const uint32_t sessionId;
    const bool primary;
};

// The machine's accounts, terminal sessions, per-thread impersonation and the
// service process's own environment.
//
// A new machine looks like a PC at the logon screen: session 0 "Services"
// (WTSDisconnected, no user) and session 1 "Console" (WTSConnected, no user),
// which is the console session. The service runs as ServiceAccount().
//
// Every simulated function of this area counts its calls (Calls) and can be
// made to fail with Machine::Fail under its Win32 name. Live impersonations,
// environment blocks and session lists count as open resources
// ("impersonation", "environment block", "WTS memory").
//
// Journal (kind "environment"), one line per block made, since a child's
// environment does not show whether the caller's own was inherited into it:
//   CreateEnvironmentBlock user=<NAME>|(none) inherit=0|1
class Sessions {
public:
    static constexpr uint32_t kNoConsoleSession = 0xFFFFFFFF;

    Sessions();
    ~Sessions();
    Sessions(const Sessions&) = delete;
    Sessions& operator=(const Sessions&) = delete;

    // NT AUTHORITY\SYSTEM, S-1-5-18: the name GetUserNameExW gives on a thread
    // that does not impersonate.
    static UserAccount ServiceAccount();

    // Makes an account known to LookupAccountNameW. The SID string may hold up
    // to 255 sub-authorities (real SIDs stop at 15) so that a test can build a
    // SID that does not fit a caller's buffer; names are free text for the same
    // reason. Throws std::invalid_argument for a malformed SID string.
    void AddUser(const UserAccount& user);

    // Adds or replaces a session; a user given here is also added as an account.
    void AddSession(uint32_t id, const std::wstring& winStationName, WTS_CONNECTSTATE_CLASS state,
                    const std::optional<UserAccount>& user = std::nullopt);
    void RemoveSession(uint32_t id);
    // kNoConsoleSession while no session is attached to the console.
    void SetConsoleSession(uint32_t id);
    // Shorthand: `user` logged on at the console in an active "Console" session.
    void LogOnConsole(const UserAccount& user, uint32_t id = 1);

    // How often the named function (Win32 name) was called on this machine.
    size_t Calls(const std::string& function) const;

    // Implementation detail shared by the area's source files.
    struct State;
    State& state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

}  // namespace winsim
