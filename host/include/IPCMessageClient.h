// The client of the host's inter-process message bus.
//
// A client connects as one module (its id) and receives the messages addressed
// to that id and every published message. Callbacks run on the client's own
// receive thread, never under a lock that a callback could need; the item and
// its body are valid only during the call, and the body is zero-terminated.
#pragma once

#include "TagIPCMessageItem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class BusCallbackTable;

class IPCMessageClient {
public:
    using Callback = std::function<void(TagIPCMessageItem&)>;

    // lazyConnect: false connects at once (and keeps reconnecting in the
    // background), true waits for the first post. receiveOwnPublications: false
    // leaves this client's own published messages out of its callbacks.
    IPCMessageClient(int32_t moduleId, bool lazyConnect, bool receiveOwnPublications,
                     const std::wstring& pipeName);
    ~IPCMessageClient();
    IPCMessageClient(const IPCMessageClient&) = delete;
    IPCMessageClient& operator=(const IPCMessageClient&) = delete;

    // Registering an id again replaces its callback.
    void RegisterMessageCallback(int32_t msgId, Callback callback);
    // Receives every message whose id has no callback of its own; for
    // development tools that watch the bus.
    void RegisterOtherMessagesCallback(Callback callback);
    // After it returns no callback of this client runs (a callback already
    // running on another thread is waited for, unless it is the caller itself).
    bool UnRegisterMessageCallbackAll();
    // Sends to item.receiverId; true when the bus accepted the message.
    bool PostIPCMessage(const TagIPCMessageItem& item);
    // Sends to every connected module; receiverId stays -1.
    bool PublishIPCMessage(TagIPCMessageItem& item);

    class Transport;

private:
    // Declared first: the transport's delivery thread holds the table too.
    std::shared_ptr<BusCallbackTable> callbacks_;
    std::shared_ptr<Transport> transport_;
};
