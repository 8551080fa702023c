// The client's table of message callbacks, keyed by message id, shared by the
// client and the thread that delivers its messages.
#pragma once

#include "IPCMessageClient.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

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
    std::mutex mutex_;
    std::condition_variable finished_;
    // Shared so that replacing a callback while it runs does not destroy it.
    std::map<int32_t, std::shared_ptr<const IPCMessageClient::Callback>> callbacks_;
    std::shared_ptr<const IPCMessageClient::Callback> others_;
    std::multiset<std::thread::id> running_;
};
