// Finds the user who sits at the machine, as the string form of a security
// identifier, for the per-user values kept under HKEY_USERS. None of these
// functions logs; an empty string is the only sign of failure.
#pragma once

#include <cstdint>
#include <string>

// The console session's user or, when that gives nothing, the user of the
// first active session.
std::wstring GetActiveUserSid();

// "DOMAIN\user" of the session's user. Without that user's token the calling
// thread's own account is named.
std::wstring GetSessionUserName(uint32_t sessionId);

// The account's SID as ConvertSidToStringSidW writes it.
std::wstring GetUserSidString(const std::wstring& accountName);
