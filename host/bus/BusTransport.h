// How a client reaches the bus: the named pipe to the broker on Windows, the
// simulated machine's bus natively. Each platform's source defines Create.
#pragma once

#include "BusCallbackTable.h"
#include "BusMessage.h"
#include "IPCMessageClient.h"

#include <cstdint>
#include <memory>
#include <string>

class IPCMessageClient::Transport {
public:
    virtual ~Transport() = default;

    // Sends a copied message; false when the bus is not reachable or refused it.
    virtual bool Send(bool publish, const BusMessage& message) = 0;

    // Delivers incoming messages to `callbacks` on a thread of the transport.
    static std::shared_ptr<Transport> Create(int32_t moduleId, bool lazyConnect,
                                             bool receiveOwnPublications,
                                             const std::wstring& pipeName,
                                             std::shared_ptr<BusCallbackTable> callbacks);
};
