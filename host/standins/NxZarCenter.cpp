// Stands in for the collaboration center: records how it was started (see
// StartRecord.h) to the file named by NX_CENTER_RECORD_FILE or to
// NxZarCenter.txt beside itself, announces its process id on the bus as the
// real center does, then stays alive until it is killed, or for the
// milliseconds given as its one argument.
//
// The bus is the host's pipe, or the one named by NX_BUS_PIPE: the service
// host sets that variable for the programs it starts when it runs on another
// pipe.
#include "IPCMessageClient.h"
#include "StartRecord.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kDefaultBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr int32_t kCenterModule = 0x150000;
constexpr int32_t kAnnounceReceiver = 0x6F0000;
constexpr int32_t kAnnounceMsg = 0x6F0006;
// The broker may still be coming up when the center starts with the host.
constexpr int kAnnounceAttempts = 20;
constexpr DWORD kAnnounceRetryMs = 250;

std::wstring BusPipe() {
    const std::wstring named = EnvironmentValue(L"NX_BUS_PIPE");
    return named.empty() ? kDefaultBusPipe : named;
}

bool Announce(IPCMessageClient& client) {
    const std::string body = std::to_string(GetCurrentProcessId());
    TagIPCMessageItem item;
    item.receiverId = kAnnounceReceiver;
    item.msgId = kAnnounceMsg;
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    for (int attempt = 0; attempt < kAnnounceAttempts; ++attempt) {
        if (client.PostIPCMessage(item)) {
            return true;
        }
        Sleep(kAnnounceRetryMs);
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (!RecordStart(L"NX_CENTER_RECORD_FILE")) {
        return 1;
    }
    IPCMessageClient client(kCenterModule, false, false, BusPipe());
    if (!Announce(client)) {
        return 2;
    }
    Sleep(argc > 1 ? static_cast<DWORD>(std::wcstoul(argv[1], nullptr, 10)) : INFINITE);
    return 0;
}
