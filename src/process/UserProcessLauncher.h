// Starts a complete command line hidden on the console user's desktop with that
// user's token and environment.
#pragma once

#include <string>

// `commandLine` is program first; a program path with spaces must already be
// quoted. Its log lines name the launcher unit's local helpers,
// "`anonymous-namespace'::CreateUserProcessEx" and
// "`anonymous-namespace'::CreateProcessAsUserEx". True when the process was
// created; the new process is not handed back.
bool CreateUserProcess(const std::wstring& commandLine);
