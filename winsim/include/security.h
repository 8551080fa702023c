// Simulated Windows SDK: the security support provider interface's name
// queries. As with the SDK, define SECURITY_WIN32 before including it.
#pragma once

#if !defined(SECURITY_WIN32) && !defined(SECURITY_KERNEL)
#error "Define SECURITY_WIN32 or SECURITY_KERNEL before including security.h"
#endif

#include <winsim/sdk/base.h>

typedef enum {
    NameUnknown = 0,
    NameFullyQualifiedDN = 1,
    NameSamCompatible = 2,
    NameDisplay = 3,
    NameUniqueId = 6,
    NameCanonical = 7,
    NameUserPrincipal = 8,
    NameCanonicalEx = 9,
    NameServicePrincipal = 10,
    NameDnsDomain = 12,
    NameGivenName = 13,
    NameSurname = 14
} EXTENDED_NAME_FORMAT,
    *PEXTENDED_NAME_FORMAT;

// The name of the user the calling thread acts for: the impersonated user, or
// the account the process runs under. Local accounts have only the
// NameSamCompatible form.
BOOLEAN WINAPI GetUserNameExW(EXTENDED_NAME_FORMAT NameFormat, LPWSTR lpNameBuffer, PULONG nSize);
