// Who created a bus pipe that a client has opened. Whoever holds the pipe's
// name answers a client, also someone who took the name while the broker was
// away; the pipe's owner tells them apart, since on Windows an account can make
// an object its own only (or its administrators' when it is one).
#pragma once

#include <windows.h>

#include <string>

struct PipeOwner {
    // LocalSystem, the administrators, or this process's own account.
    bool trusted = false;
    // The owner's SID as text, for the log; empty when none could be read.
    std::wstring sid;
};

PipeOwner GetPipeOwner(HANDLE pipe);
