#include "IPCMessageClient.h"

#include "BusTransport.h"

#include <optional>
#include <utility>

IPCMessageClient::IPCMessageClient(int32_t moduleId, bool lazyConnect, bool receiveOwnPublications,
                                   const std::wstring& pipeName)
    : callbacks_(std::make_shared<BusCallbackTable>()),
      transport_(
          Transport::Create(moduleId, lazyConnect, receiveOwnPublications, pipeName, callbacks_)) {}

IPCMessageClient::~IPCMessageClient() {
    callbacks_->Clear();
    transport_.reset();
}

void IPCMessageClient::RegisterMessageCallback(int32_t msgId, Callback callback) {
    callbacks_->Register(msgId, std::move(callback));
}

void IPCMessageClient::RegisterOtherMessagesCallback(Callback callback) {
    callbacks_->RegisterOthers(std::move(callback));
}

bool IPCMessageClient::UnRegisterMessageCallbackAll() {
    callbacks_->Clear();
    return true;
}

bool IPCMessageClient::PostIPCMessage(const TagIPCMessageItem& item) {
    const std::optional<BusMessage> message = CopyBusMessage(item);
    return message && transport_->Send(false, *message);
}

bool IPCMessageClient::PublishIPCMessage(TagIPCMessageItem& item) {
    const std::optional<BusMessage> message = CopyBusMessage(item);
    return message && transport_->Send(true, *message);
}
