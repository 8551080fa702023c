// Sessions, users and tokens of the simulated machine (test-facing API and the
// token object that other simulated subsystems read).
#pragma once

#include <winsim/Machine.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

// A user account known to the machine.
struct UserAccount {
    std::wstring name;    // NameSamCompatible form, e.g. L"DESKTOP\\alice"
    std::wstring sid;     // string form, e.g. L"S-1-5-21-1-2-3-1001"
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

}  // namespace winsim
