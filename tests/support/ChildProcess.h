// Starts a program of the build as a child of a Windows test, with the given
// standard input and output (both inheritable), and hands back its process.
#pragma once

#include "ModulePaths.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <string>

// The child works in the test programs' directory, wherever the test was
// started: the plug-in's "cmd.exe /c NxReVadiru.exe disable" finds the
// stand-in helper only in the command interpreter's working directory.
inline UniqueHandle StartWithStdHandles(std::wstring commandLine, HANDLE input, HANDLE output) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION started{};
    const std::wstring directory = ExecutableDirectory();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        directory.c_str(), &startup, &started)) {
        return UniqueHandle();
    }
    const UniqueHandle thread(started.hThread);
    return UniqueHandle(started.hProcess);
}
