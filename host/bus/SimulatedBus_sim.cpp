#include "SimulatedBus.h"

#include "winsim/Machine.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace simbus {

using winsim::Current;

namespace {

// Deliveries queued or running on any link; WaitIdle waits for zero.
struct Activity {
    std::mutex mutex;
    std::condition_variable idle;
    size_t pending = 0;

    void Add(size_t count) {
        std::lock_guard lock(mutex);
        pending += count;
    }
    void Done(size_t count) {
        std::lock_guard lock(mutex);
        pending -= count;
        if (pending == 0) {
            idle.notify_all();
        }
    }
};

// One connected module: its queue and the thread that empties it. The thread
// holds the connection, so a link disconnected from its own callback stays
// valid until that callback returns.
struct Connection {
    Connection(int32_t id, bool own, Bus::Delivery callback, std::shared_ptr<Activity> shared)
        : moduleId(id),
          receiveOwnPublications(own),
          deliver(std::move(callback)),
          activity(std::move(shared)) {}

    const int32_t moduleId;
    const bool receiveOwnPublications;
    const Bus::Delivery deliver;
    const std::shared_ptr<Activity> activity;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<BusMessage> queue;
    bool stopping = false;
    std::thread thread;

    void Enqueue(BusMessage message) {
        std::lock_guard lock(mutex);
        if (stopping) {
            return;
        }
        activity->Add(1);
        queue.push_back(std::move(message));
        wake.notify_one();
    }

    static void Run(const std::shared_ptr<Connection>& self) {
        std::unique_lock lock(self->mutex);
        for (;;) {
            self->wake.wait(lock, [&] { return self->stopping || !self->queue.empty(); });
            if (self->stopping) {
                return;
            }
            const BusMessage message = std::move(self->queue.front());
            self->queue.pop_front();
            lock.unlock();
            try {
                self->deliver(message);
            } catch (...) {
                // The module's failure is its own; the bus keeps delivering.
            }
            self->activity->Done(1);
            lock.lock();
        }
    }

    void Stop() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            activity->Done(queue.size());
            queue.clear();
            wake.notify_one();
        }
        if (thread.get_id() == std::this_thread::get_id()) {
            thread.detach();
        } else if (thread.joinable()) {
            thread.join();
        }
    }
};

std::string QuoteBody(const std::string& body) {
    std::string quoted = "\"";
    for (const char c : std::string_view(body.c_str())) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string JournalText(const BusRecord& record) {
    const BusMessage& m = record.message;
    std::string text = record.published ? "" : FormatBusId(m.receiverId) + " ";
    text += FormatBusId(m.msgId) + " " + (m.nullBody ? "(null)" : QuoteBody(m.body));
    if (m.body.size() != std::strlen(m.body.c_str())) {
        text += " len=" + std::to_string(m.body.size());
    }
    if (m.messageType != -1) {
        text += " type=" + std::to_string(m.messageType);
    }
    if (m.sequence != -1) {
        text += " sequence=" + std::to_string(m.sequence);
    }
    if (m.priority != 0) {
        text += " priority=" + std::to_string(m.priority);
    }
    if (m.needReply) {
        text += " needReply=1";
    }
    if (m.timeoutMs != 0) {
        text += " timeoutMs=" + std::to_string(m.timeoutMs);
    }
    if (!record.accepted) {
        text += " failed";
    }
    return text;
}

}  // namespace

struct Bus::Core {
    mutable std::mutex mutex;
    std::map<uint64_t, std::shared_ptr<Connection>> connections;
    uint64_t nextId = 1;
    bool down = false;
    std::vector<BusRecord> sent;
    const std::shared_ptr<Activity> activity = std::make_shared<Activity>();

    // Journals and routes one message from `senderId`; `from` is the sending
    // link (0 for a test's injection), which a publish skips unless it asked
    // for its own publications.
    bool Route(uint64_t from, int32_t senderId, bool published, bool faulted, BusMessage message) {
        message.senderId = senderId;
        message.senderName = FormatBusId(senderId);
        std::lock_guard lock(mutex);
        BusRecord record{published, !down && !faulted, std::move(message)};
        // Journaled under the bus's lock so that the journal's order is the
        // order in which receivers see the messages.
        Current().Record(published ? "publish" : "post", JournalText(record));
        if (record.accepted) {
            for (const auto& [id, connection] : connections) {
                const bool addressed = published
                                           ? id != from || connection->receiveOwnPublications
                                           : connection->moduleId == record.message.receiverId;
                if (addressed) {
                    connection->Enqueue(record.message);
                }
            }
        }
        const bool accepted = record.accepted;
        sent.push_back(std::move(record));
        return accepted;
    }

    // Call with the mutex held.
    bool IsConnected(int32_t moduleId) const {
        return std::any_of(connections.begin(), connections.end(),
                           [&](const auto& entry) { return entry.second->moduleId == moduleId; });
    }

    std::shared_ptr<Connection> Take(uint64_t id) {
        std::lock_guard lock(mutex);
        const auto found = connections.find(id);
        if (found == connections.end()) {
            return nullptr;
        }
        std::shared_ptr<Connection> connection = std::move(found->second);
        connections.erase(found);
        return connection;
    }
};

Bus::Bus() : core_(std::make_shared<Core>()) {}

Bus::~Bus() {
    std::map<uint64_t, std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(core_->mutex);
        connections.swap(core_->connections);
    }
    for (const auto& [id, connection] : connections) {
        connection->Stop();
    }
}

BusLink Bus::Connect(int32_t moduleId, bool receiveOwnPublications, Delivery deliver) {
    auto connection = std::make_shared<Connection>(moduleId, receiveOwnPublications,
                                                   std::move(deliver), core_->activity);
    connection->thread = std::thread(Connection::Run, connection);
    {
        std::lock_guard lock(core_->mutex);
        if (!core_->IsConnected(moduleId)) {
            const uint64_t id = core_->nextId++;
            core_->connections.emplace(id, std::move(connection));
            return BusLink(core_, id);
        }
    }
    connection->Stop();
    return BusLink();
}

void Bus::Send(int32_t senderId, int32_t receiverId, int32_t msgId, const std::string& body) {
    BusMessage message;
    message.receiverId = receiverId;
    message.msgId = msgId;
    message.body = body;
    core_->Route(0, senderId, false, false, std::move(message));
}

std::vector<BusRecord> Bus::Sent() const {
    std::lock_guard lock(core_->mutex);
    return core_->sent;
}

bool Bus::IsConnected(int32_t moduleId) const {
    std::lock_guard lock(core_->mutex);
    return core_->IsConnected(moduleId);
}

void Bus::SetDown(bool down) {
    std::lock_guard lock(core_->mutex);
    core_->down = down;
}

bool Bus::WaitIdle(std::chrono::milliseconds timeout) const {
    Activity& activity = *core_->activity;
    std::unique_lock lock(activity.mutex);
    return activity.idle.wait_for(lock, timeout, [&] { return activity.pending == 0; });
}

BusLink::BusLink(BusLink&& other) noexcept
    : core_(std::move(other.core_)), id_(std::exchange(other.id_, 0)) {}

BusLink& BusLink::operator=(BusLink&& other) noexcept {
    if (this != &other) {
        Disconnect();
        core_ = std::move(other.core_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

BusLink::~BusLink() {
    Disconnect();
}

namespace {

// Routes as the link's module; false when the link or its bus is gone.
bool Send(const std::weak_ptr<Bus::Core>& weak, uint64_t id, bool published, const char* fault,
          BusMessage message) {
    const std::shared_ptr<Bus::Core> core = weak.lock();
    if (!core) {
        return false;
    }
    int32_t senderId = 0;
    {
        std::lock_guard lock(core->mutex);
        const auto found = core->connections.find(id);
        if (found == core->connections.end()) {
            return false;
        }
        senderId = found->second->moduleId;
    }
    uint32_t error = 0;
    const bool faulted = Current().TakeFault(fault, error);
    return core->Route(id, senderId, published, faulted, std::move(message));
}

}  // namespace

bool BusLink::Post(BusMessage message) const {
    return Send(core_, id_, false, "PostIPCMessage", std::move(message));
}

bool BusLink::Publish(BusMessage message) const {
    return Send(core_, id_, true, "PublishIPCMessage", std::move(message));
}

void BusLink::Disconnect() {
    const std::shared_ptr<Bus::Core> core = std::exchange(core_, {}).lock();
    const uint64_t id = std::exchange(id_, 0);
    if (core) {
        if (const std::shared_ptr<Connection> connection = core->Take(id)) {
            connection->Stop();
        }
    }
}

struct BusObserver::Inbox {
    mutable std::mutex mutex;
    std::vector<BusMessage> received;
};

BusObserver::BusObserver(Bus& bus, int32_t moduleId, bool receiveOwnPublications)
    : inbox_(std::make_shared<Inbox>()),
      link_(bus.Connect(moduleId, receiveOwnPublications,
                        [inbox = inbox_](const BusMessage& message) {
                            std::lock_guard lock(inbox->mutex);
                            inbox->received.push_back(message);
                        })) {}

std::vector<BusMessage> BusObserver::Received() const {
    std::lock_guard lock(inbox_->mutex);
    return inbox_->received;
}

}  // namespace simbus
