#include "PluginDriver.h"
#include "wait/PollUntil.h"

#include <stdexcept>

PluginState::Handler HandlerFor(int32_t msgId) {
    for (const auto* entries : {&PluginState::EarlyHandlers(), &PluginState::LateHandlers()}) {
        for (const PluginState::HandlerEntry& entry : *entries) {
            if (entry.msgId == msgId) {
                return entry.handler;
            }
        }
    }
    throw std::runtime_error("the plug-in handles no message " + std::to_string(msgId));
}

TagIPCMessageItem MessageItem(int32_t msgId, const std::string& body) {
    TagIPCMessageItem item;
    item.msgId = msgId;
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    return item;
}

void Deliver(PluginState& plugin, int32_t msgId, const std::string& body) {
    TagIPCMessageItem item = MessageItem(msgId, body);
    (plugin.*HandlerFor(msgId))(item);
}

void WaitForWorkers(const std::shared_ptr<PluginState>& plugin) {
    if (!PollUntil([&] { return plugin.use_count() == 1; })) {
        throw std::runtime_error("the plug-in's worker threads did not end");
    }
}
