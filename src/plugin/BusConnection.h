// The plug-in's connection to the host's bus. Unlike the client it wraps, it
// can be closed while worker threads still hold the plug-in's state: a
// destroyed plug-in must leave the bus at once, not when its last watch ends.
#pragma once

#include "IPCMessageClient.h"
#include "win32/SrwLock.h"

#include <cstdint>
#include <memory>
#include <string>

class BusConnection {
public:
    BusConnection(int32_t moduleId, bool lazyConnect, bool receiveOwnPublications,
                  const std::wstring& pipeName);
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    // The client's operations; once closed, registering does nothing and
    // sending fails.
    void RegisterMessageCallback(int32_t msgId, IPCMessageClient::Callback callback);
    bool UnRegisterMessageCallbackAll();
    bool PostIPCMessage(const TagIPCMessageItem& item);
    bool PublishIPCMessage(TagIPCMessageItem& item);

    // Removes every callback and lets the client go: it is destroyed here, or
    // by the thread still sending through it when that send returns.
    void Close();
    bool IsClosed() const;

private:
    std::shared_ptr<IPCMessageClient> Current() const;

    mutable SrwMutex mutex_;
    std::shared_ptr<IPCMessageClient> client_;
};
