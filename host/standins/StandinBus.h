// How the stand-ins talk to the plug-in on the bus.
//
// The bus is the host's pipe, or the one named by NX_BUS_PIPE: the service
// host sets that variable for the programs it starts when it runs on another
// pipe.
#pragma once

#include "IPCMessageClient.h"
#include "StandinText.h"

#include <windows.h>

#include <string>

inline std::wstring StandinBusPipe() {
    constexpr wchar_t kDefaultBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
    const std::wstring named = EnvironmentValue(L"NX_BUS_PIPE");
    return named.empty() ? kDefaultBusPipe : named;
}

// Posts `body` to the plug-in's module. The broker may still be coming up when
// a stand-in starts with the host, so a refused post is tried again a few times.
inline bool PostToPlugin(IPCMessageClient& client, int32_t msgId, const std::string& body) {
    constexpr int32_t kPluginModule = 0x6F0000;
    constexpr int kAttempts = 20;
    constexpr DWORD kRetryMs = 250;
    TagIPCMessageItem item;
    item.receiverId = kPluginModule;
    item.msgId = msgId;
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (client.PostIPCMessage(item)) {
            return true;
        }
        Sleep(kRetryMs);
    }
    return false;
}
