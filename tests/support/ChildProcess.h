// Starts a program of the build as a child of a Windows test, with the given
// standard input and output (both inheritable), and hands back its process.
#pragma once

#include "process/UniqueHandle.h"

#include <windows.h>

#include <string>

inline UniqueHandle StartWithStdHandles(std::wstring commandLine, HANDLE input, HANDLE output) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return UniqueHandle();
    }
    const UniqueHandle thread(started.hThread);
    return UniqueHandle(started.hProcess);
}

// A pipe for a child's standard input: the child's end inheritable, the test's
// end not, so that the child sees the end of its input when the test closes it.
inline bool MakeChildInput(UniqueHandle& testEnd, UniqueHandle& childEnd) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0)) {
        return false;
    }
    childEnd.reset(read);
    testEnd.reset(write);
    return SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0) != FALSE;
}
