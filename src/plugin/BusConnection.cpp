#include "BusConnection.h"

#include <utility>

BusConnection::BusConnection(int32_t moduleId, bool lazyConnect, bool receiveOwnPublications,
                             const std::wstring& pipeName)
    : client_(std::make_shared<IPCMessageClient>(moduleId, lazyConnect, receiveOwnPublications,
                                                 pipeName)) {}

std::shared_ptr<IPCMessageClient> BusConnection::Current() const {
    std::lock_guard<SrwMutex> lock(mutex_);
    return client_;
}

void BusConnection::RegisterMessageCallback(int32_t msgId, IPCMessageClient::Callback callback) {
    // Under the lock, so that no callback is added after Close() removed them all.
    std::lock_guard<SrwMutex> lock(mutex_);
    if (client_) {
        client_->RegisterMessageCallback(msgId, std::move(callback));
    }
}

bool BusConnection::UnRegisterMessageCallbackAll() {
    const auto client = Current();
    return client && client->UnRegisterMessageCallbackAll();
}

bool BusConnection::PostIPCMessage(const TagIPCMessageItem& item) {
    const auto client = Current();
    return client && client->PostIPCMessage(item);
}

bool BusConnection::PublishIPCMessage(TagIPCMessageItem& item) {
    const auto client = Current();
    return client && client->PublishIPCMessage(item);
}

void BusConnection::Close() {
    std::shared_ptr<IPCMessageClient> client;
    {
        std::lock_guard<SrwMutex> lock(mutex_);
        client = std::move(client_);
    }
    // Outside the lock: a handler that is still running may be sending.
    if (client) {
        client->UnRegisterMessageCallbackAll();
    }
}

bool BusConnection::IsClosed() const {
    return Current() == nullptr;
}
