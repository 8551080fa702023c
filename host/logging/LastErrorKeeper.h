// Keeps the calling thread's last error across a scope: callers read it after
// logging a failure, and writing a line may set it even when all goes well
// (opening an existing file says so).
#pragma once

#include <windows.h>

class LastErrorKeeper {
public:
    LastErrorKeeper() : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    const DWORD error_;
};
