#include "NxReVadiruServiceImpl.h"

bool PostBusMessage(BusConnection& client, int32_t receiverId, int32_t msgId,
                    const std::string& body) {
    TagIPCMessageItem item;
    item.receiverId = receiverId;
    item.msgId = msgId;
    // Points into the caller's string: an empty body is "" rather than null.
    item.message = body.c_str();
    item.messageLen = static_cast<int32_t>(body.size());
    return client.PostIPCMessage(item);
}

void PostBusNotices(BusConnection& client, std::span<const BusNotice> notices) {
    for (const BusNotice& notice : notices) {
        PostBusMessage(client, notice.receiverId, notice.msgId, notice.body);
    }
}
