// Starting programs on the console user's desktop with that user's token and
// environment: the service itself runs in the services session, where nothing
// it shows can be seen.
#pragma once

#include <string>

// Starts a complete command line, hidden. `commandLine` is program first; a
// program path with spaces must already be quoted. Its log lines name the
// launcher unit's local helpers, "`anonymous-namespace'::CreateUserProcessEx"
// and "`anonymous-namespace'::CreateProcessAsUserEx". True when the process
// was created; the new process is not handed back.
bool CreateUserProcess(const std::wstring& commandLine);

namespace NXPROCESS {

// Starts a program shown normally. `applicationPath` and `arguments` must be
// non-empty; both are trimmed of spaces and a path containing a space is
// quoted. `currentDirectory` may be null (the platform's default). True when
// the process was created; on failure the platform's last error says why.
bool StartProcess(const std::wstring& applicationPath, const std::wstring& arguments,
                  const wchar_t* currentDirectory);

}  // namespace NXPROCESS
