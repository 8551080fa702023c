// The client's table of message callbacks, keyed by message id, shared by the
// client and the thread that delivers its messages.
#pragma once

#include "IPCMessageClient.h"
#include "win32/SrwLock.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>

class BusCallbackTable {
public:
    // Registering an id again replaces its callback.
    void Register(int32_t msgId, IPCMessageClient::Callback callback);
    // Takes every message no id has a callback for; replaces the previous one.
    void RegisterOthers(IPCMessageClient::Callback callback);
    // Empties the table, then waits until no callback runs on another thread;
    // one running on the calling thread (it called us) cannot be waited for.
    void Clear();
    // Calls the callback registered for the item's id, else the one for
    // others, if any, without holding the table's lock, so that the callback
    // may register, clear or post.
    void Dispatch(TagIPCMessageItem& item);

private:
    SrwMutex mutex_;
    SrwCondition finished_;
    // Shared so that replacing a callback while it runs does not destroy it.
    std::map<int32_t, std::shared_ptr<const IPCMessageClient::Callback>> callbacks_;
    std::shared_ptr<const IPCMessageClient::Callback> others_;
    // The threads inside a callback, by id.
    std::multiset<DWORD> running_;
};
