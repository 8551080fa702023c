#include "BusCallbackTable.h"

#include <algorithm>
#include <utility>

void BusCallbackTable::Register(int32_t msgId, IPCMessageClient::Callback callback) {
    auto shared = std::make_shared<const IPCMessageClient::Callback>(std::move(callback));
    std::lock_guard lock(mutex_);
    callbacks_[msgId] = std::move(shared);
}

void BusCallbackTable::RegisterOthers(IPCMessageClient::Callback callback) {
    auto shared = std::make_shared<const IPCMessageClient::Callback>(std::move(callback));
    std::lock_guard lock(mutex_);
    others_ = std::move(shared);
}

void BusCallbackTable::Clear() {
    const DWORD self = GetCurrentThreadId();
    std::unique_lock lock(mutex_);
    callbacks_.clear();
    others_.reset();
    finished_.Wait(lock, [&] {
        return std::all_of(running_.begin(), running_.end(), [&](DWORD id) { return id == self; });
    });
}

void BusCallbackTable::Dispatch(TagIPCMessageItem& item) {
    const DWORD self = GetCurrentThreadId();
    std::shared_ptr<const IPCMessageClient::Callback> callback;
    {
        std::lock_guard lock(mutex_);
        const auto found = callbacks_.find(item.msgId);
        callback = found != callbacks_.end() ? found->second : others_;
        if (!callback || !*callback) {
            return;
        }
        // Counted before the lock is let go, so that Clear() cannot return
        // between this lookup and the call.
        running_.insert(self);
    }
    try {
        (*callback)(item);
    } catch (...) {
        // A throwing handler must not take the delivery thread down with it.
    }
    // Let go before telling Clear(): once cleared, this may be the callback's
    // last owner, and its destruction is the registrant's code, which may be
    // unloaded as soon as Clear() returns.
    callback.reset();
    std::lock_guard lock(mutex_);
    running_.erase(running_.find(self));
    finished_.NotifyAll();
}
