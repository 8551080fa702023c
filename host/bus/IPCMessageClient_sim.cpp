// Natively the client joins the bus of the simulated machine installed when it
// first connects; the pipe name has no meaning there.
#include "BusTransport.h"

#include "SimulatedBus.h"
#include "winsim/Machine.h"

#include <mutex>
#include <utility>

namespace {

class SimTransport final : public IPCMessageClient::Transport {
public:
    SimTransport(int32_t moduleId, bool receiveOwnPublications,
                 std::shared_ptr<BusCallbackTable> callbacks)
        : moduleId_(moduleId),
          receiveOwnPublications_(receiveOwnPublications),
          callbacks_(std::move(callbacks)) {}

    void Connect() {
        std::lock_guard lock(mutex_);
        if (!link_) {
            link_ = winsim::Current().Extension<simbus::Bus>().Connect(
                moduleId_, receiveOwnPublications_,
                [callbacks = callbacks_](const BusMessage& message) {
                    TagIPCMessageItem item = ViewBusMessage(message);
                    callbacks->Dispatch(item);
                });
        }
    }

    bool Send(bool publish, const BusMessage& message) override {
        Connect();
        return publish ? link_.Publish(message) : link_.Post(message);
    }

private:
    const int32_t moduleId_;
    const bool receiveOwnPublications_;
    const std::shared_ptr<BusCallbackTable> callbacks_;
    std::mutex mutex_;
    simbus::BusLink link_;  // set once, under mutex_, then only read
};

}  // namespace

std::shared_ptr<IPCMessageClient::Transport> IPCMessageClient::Transport::Create(
    int32_t moduleId, bool lazyConnect, bool receiveOwnPublications, const std::wstring&,
    std::shared_ptr<BusCallbackTable> callbacks) {
    auto transport =
        std::make_shared<SimTransport>(moduleId, receiveOwnPublications, std::move(callbacks));
    if (!lazyConnect) {
        transport->Connect();
    }
    return transport;
}
