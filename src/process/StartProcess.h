// Starts a program on the console user's desktop, shown normally, with that
// user's token and environment.
#pragma once

#include <string>

namespace NXPROCESS {

// `applicationPath` and `arguments` must be non-empty; both are trimmed of
// spaces and a path containing a space is quoted. `currentDirectory` may be
// null (the platform's default). True when the process was created; the new
// process is not handed back.
bool StartProcess(const std::wstring& applicationPath, const std::wstring& arguments,
                  const wchar_t* currentDirectory);

}  // namespace NXPROCESS
