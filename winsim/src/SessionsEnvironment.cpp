// Environment blocks built for a user's token.
#include "SessionsState.h"

#include <userenv.h>

using namespace winsim;

namespace {

using Variables = std::map<std::wstring, std::wstring, CaseInsensitiveLess>;

constexpr const char* kEnvironmentResource = "environment block";

void AddSystemVariables(Variables& variables) {
    variables.insert_or_assign(L"ALLUSERSPROFILE", L"C:\\ProgramData");
    variables.insert_or_assign(L"ComSpec", L"C:\\Windows\\system32\\cmd.exe");
    variables.insert_or_assign(L"OS", L"Windows_NT");
    variables.insert_or_assign(L"Path", L"C:\\Windows\\system32;C:\\Windows");
    variables.insert_or_assign(L"ProgramData", L"C:\\ProgramData");
    variables.insert_or_assign(L"ProgramFiles", L"C:\\Program Files");
    variables.insert_or_assign(L"PUBLIC", L"C:\\Users\\Public");
    variables.insert_or_assign(L"SystemDrive", L"C:");
    variables.insert_or_assign(L"SystemRoot", L"C:\\Windows");
    variables.insert_or_assign(L"windir", L"C:\\Windows");
}

void AddUserVariables(Variables& variables, const UserAccount& user) {
    const std::wstring profile = user.sid == Sessions::ServiceAccount().sid
                                     ? L"C:\\Windows\\system32\\config\\systemprofile"
                                     : L"C:\\Users\\" + UserPart(user.name);
    const std::wstring localAppData = profile + L"\\AppData\\Local";
    variables.insert_or_assign(L"APPDATA", profile + L"\\AppData\\Roaming");
    variables.insert_or_assign(L"HOMEDRIVE", profile.substr(0, 2));
    variables.insert_or_assign(L"HOMEPATH", profile.substr(2));
    variables.insert_or_assign(L"LOCALAPPDATA", localAppData);
    variables.insert_or_assign(L"TEMP", localAppData + L"\\Temp");
    variables.insert_or_assign(L"TMP", localAppData + L"\\Temp");
    variables.insert_or_assign(L"USERDOMAIN", DomainPart(user.name));
    variables.insert_or_assign(L"USERNAME", UserPart(user.name));
    variables.insert_or_assign(L"USERPROFILE", profile);
}

// What the service process itself started with.
Variables ServiceEnvironment(const Sessions::State& state) {
    Variables variables;
    AddSystemVariables(variables);
    AddUserVariables(variables, Sessions::ServiceAccount());
    for (const auto& [name, value] : state.serviceEnvironment) {
        variables.insert_or_assign(name, value);
    }
    return variables;
}

}  // namespace

// As on Windows, inheriting starts from the calling process's environment and
// the user's variables then take precedence; without a token only the system's
// variables are added.
BOOL WINAPI CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit) {
    if (CallFails("CreateEnvironmentBlock")) {
        return FALSE;
    }
    if (lpEnvironment == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<TokenObject> token;
    if (hToken != nullptr) {
        token = UsableToken(hToken, TOKEN_QUERY | TOKEN_DUPLICATE, TOKEN_QUERY);
        if (token == nullptr) {
            return FALSE;
        }
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    Variables variables = bInherit ? ServiceEnvironment(state) : Variables();
    AddSystemVariables(variables);
    if (token != nullptr) {
        AddUserVariables(variables, token->user);
    }
    std::vector<WCHAR> block;
    for (const auto& [name, value] : variables) {
        const std::wstring entry = name + L"=" + value;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    *lpEnvironment = block.data();
    state.environmentBlocks.emplace(block.data(), std::move(block));
    Current().AcquireResource(kEnvironmentResource);
    Current().Record("environment", "CreateEnvironmentBlock user=" +
                                        (token != nullptr ? "<" + Narrow(token->user.name) + ">"
                                                          : std::string("(none)")) +
                                        " inherit=" + (bInherit ? "1" : "0"));
    return TRUE;
}

BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment) {
    if (CallFails("DestroyEnvironmentBlock")) {
        return FALSE;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    if (state.environmentBlocks.erase(lpEnvironment) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Current().ReleaseResource(kEnvironmentResource);
    return TRUE;
}

BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
    if (CallFails("SetEnvironmentVariableW")) {
        return FALSE;
    }
    if (lpName == nullptr || *lpName == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Sessions::State& state = SessionsState();
    std::lock_guard lock(state.mutex);
    if (lpValue == nullptr) {
        state.serviceEnvironment.erase(lpName);
    } else {
        state.serviceEnvironment.insert_or_assign(lpName, lpValue);
    }
    return TRUE;
}
