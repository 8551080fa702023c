// The host module that starts the collaboration center when the plug-in asks
// for it: it listens on the bus as module 0x30000 and answers message 0x30003
// by starting NxZarCenter.exe from the host's directory.
#pragma once

#include "IPCMessageClient.h"

#include <string>

class CenterStarter {
public:
    // Connects at once; programs it starts find the bus through NX_BUS_PIPE.
    explicit CenterStarter(const std::wstring& pipeName);

private:
    IPCMessageClient client_;
};
