// Accounts: LookupAccountNameW and the string form of SIDs.
#include "SessionsState.h"

#include <sddl.h>

#include <cwchar>
#include <limits>
#include <optional>
#include <sstream>

namespace winsim {

namespace {

constexpr size_t kSidHeaderBytes = 8;  // revision, count, six authority bytes
constexpr size_t kMaxSubAuthorities = std::numeric_limits<BYTE>::max();
constexpr uint64_t kMaxAuthority = (uint64_t{1} << 48) - 1;
// Authorities from 2^32 up are written in hexadecimal, as Windows writes them.
constexpr uint64_t kLargestDecimalAuthority = std::numeric_limits<uint32_t>::max();

// Reads an unsigned number (decimal, or hexadecimal after "0x") up to `limit`.
std::optional<uint64_t> ParseNumber(const std::wstring& text, uint64_t limit) {
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const std::wstring digits = hex ? text.substr(2) : text;
    if (digits.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const wchar_t c : digits) {
        const bool decimal = c >= L'0' && c <= L'9';
        const bool hexLetter = hex && ((c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'));
        if (!decimal && !hexLetter) {
            return std::nullopt;
        }
        const uint64_t digit = decimal ? uint64_t(c - L'0') : uint64_t((c | 0x20) - L'a' + 10);
        value = value * (hex ? 16 : 10) + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return value;
}

std::vector<std::wstring> SplitOnDash(const std::wstring& text) {
    std::vector<std::wstring> parts;
    std::wistringstream stream(text);
    std::wstring part;
    while (std::getline(stream, part, L'-')) {
        parts.push_back(part);
    }
    if (!text.empty() && text.back() == L'-') {
        parts.emplace_back();
    }
    return parts;
}

std::wstring SidToString(const BYTE* sid) {
    uint64_t authority = 0;
    for (size_t i = 2; i < kSidHeaderBytes; ++i) {
        authority = (authority << 8) | sid[i];
    }
    std::wostringstream text;
    text << L"S-" << unsigned{sid[0]} << L'-';
    if (authority > kLargestDecimalAuthority) {
        text << L"0x" << std::hex << std::uppercase;
        text.width(12);
        text.fill(L'0');
        text << authority << std::dec;
    } else {
        text << authority;
    }
    for (size_t i = 0; i < sid[1]; ++i) {
        DWORD subAuthority = 0;
        std::memcpy(&subAuthority, sid + kSidHeaderBytes + i * sizeof(DWORD), sizeof(DWORD));
        text << L'-' << subAuthority;
    }
    return text.str();
}

// The account a name denotes: "DOMAIN\user" exactly, or "user" alone.
std::optional<UserAccount> FindAccount(const std::wstring& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    const auto exact = state.accounts.find(name);
    if (exact != state.accounts.end()) {
        return exact->second;
    }
    if (name.find(L'\\') != std::wstring::npos) {
        return std::nullopt;
    }
    for (const auto& [fullName, account] : state.accounts) {
        if (EqualsIgnoringCase(UserPart(fullName), name)) {
            return account;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<BYTE> SidFromString(const std::wstring& text) {
    const std::vector<std::wstring> parts = SplitOnDash(text);
    if (parts.size() < 3 || parts.size() - 3 > kMaxSubAuthorities || parts[0] != L"S") {
        return {};
    }
    const auto revision = ParseNumber(parts[1], std::numeric_limits<BYTE>::max());
    const auto authority = ParseNumber(parts[2], kMaxAuthority);
    if (!revision || !authority) {
        return {};
    }
    std::vector<BYTE> sid(kSidHeaderBytes + (parts.size() - 3) * sizeof(DWORD));
    sid[0] = BYTE(*revision);
    sid[1] = BYTE(parts.size() - 3);
    for (size_t i = 0; i < 6; ++i) {
        sid[2 + i] = BYTE(*authority >> (8 * (5 - i)));
    }
    for (size_t i = 3; i < parts.size(); ++i) {
        const auto subAuthority = ParseNumber(parts[i], std::numeric_limits<DWORD>::max());
        if (!subAuthority) {
            return {};
        }
        const DWORD value = DWORD(*subAuthority);
        std::memcpy(sid.data() + kSidHeaderBytes + (i - 3) * sizeof(DWORD), &value, sizeof(DWORD));
    }
    return sid;
}

}  // namespace winsim

using namespace winsim;

// The simulated machine is the only system there is, so lpSystemName is not
// consulted.
BOOL WINAPI LookupAccountNameW(LPCWSTR, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                               LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                               PSID_NAME_USE peUse) {
    if (CallFails("LookupAccountNameW")) {
        return FALSE;
    }
    if (cbSid == nullptr || cchReferencedDomainName == nullptr || peUse == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::optional<UserAccount> account =
        FindAccount(lpAccountName == nullptr ? L"" : lpAccountName);
    if (!account) {
        SetLastError(ERROR_NONE_MAPPED);
        return FALSE;
    }
    const std::vector<BYTE> sid = SidFromString(account->sid);
    const std::wstring domain = DomainPart(account->name);
    const DWORD sidBytes = DWORD(sid.size());
    const DWORD domainChars = DWORD(domain.size() + 1);
    const DWORD sidCapacity = Sid == nullptr ? 0 : *cbSid;
    const DWORD domainCapacity = ReferencedDomainName == nullptr ? 0 : *cchReferencedDomainName;
    if (sidCapacity < sidBytes || domainCapacity < domainChars) {
        *cbSid = sidBytes;
        *cchReferencedDomainName = domainChars;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(Sid, sid.data(), sid.size());
    std::wmemcpy(ReferencedDomainName, domain.c_str(), domainChars);
    *cbSid = sidBytes;
    *cchReferencedDomainName = domainChars - 1;
    *peUse = account->sid == Sessions::ServiceAccount().sid ? SidTypeWellKnownGroup : SidTypeUser;
    return TRUE;
}

BOOL WINAPI ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid) {
    if (CallFails("ConvertSidToStringSidW")) {
        return FALSE;
    }
    if (Sid == nullptr || StringSid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BYTE* sid = static_cast<const BYTE*>(Sid);
    if (sid[0] != SID_REVISION) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    const std::wstring text = SidToString(sid);
    const size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, bytes));
    if (copy == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    std::wmemcpy(copy, text.c_str(), text.size() + 1);
    *StringSid = copy;
    return TRUE;
}
