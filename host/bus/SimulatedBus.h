// The host's message bus inside the simulated machine: the broker that the
// native transport (IPCMessageClient_sim.cpp) connects to, kept as an extension
// of the simulated machine so that it lives and dies with it.
//
// Each connected module has its own delivery thread, so callbacks run on the
// receiving client's thread as they do over the real pipe. Every post and
// publish, by a client or injected by a test, is journaled in order:
//
//   kind "post":    <receiver> <msgId> "<body>"[ extras][ failed]
//   kind "publish": <msgId> "<body>"[ extras][ failed]
//
// Ids are written by FormatBusId (lowercase hex with 0x, e.g. 0x690000; -0x1
// for -1). The quoted body is the text up to its first zero byte; quotes and
// backslashes get a backslash before them, unprintable bytes are written as
// \xNN; a body sent as a null pointer is written (null) instead. Extras name
// the fields that differ from what a plain text post carries, in this order:
// len=N (when the length is not the text's length, e.g. a counted
// terminator), type=N (messageType not -1), sequence=N (not -1), priority=N
// (not 0), needReply=1, timeoutMs=N (not 0). "failed" marks a message the bus
// refused (SetDown, or an injected fault).
//
// Like the real broker, the bus accepts a post to a module that is not
// connected: it is journaled and reported sent, and nobody receives it.
#pragma once

#include "BusMessage.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace simbus {

// One post or publish that reached the bus, with the sender filled in.
struct BusRecord {
    bool published = false;
    bool accepted = false;
    BusMessage message;
};

class BusLink;

class Bus {
public:
    using Delivery = std::function<void(const BusMessage&)>;

    Bus();
    // Disconnects every module still connected, joining its delivery thread.
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    // Connects a module. `deliver` runs on the link's own thread, one message
    // at a time, in the order the bus accepted them. Like the real broker, the
    // bus refuses (an empty link) an id that a connected module holds.
    BusLink Connect(int32_t moduleId, bool receiveOwnPublications, Delivery deliver);

    // --- test API -----------------------------------------------------------
    // Posts as module `senderId` (which need not be connected). Obeys SetDown
    // but not injected faults, which are meant for the clients under test.
    void Send(int32_t senderId, int32_t receiverId, int32_t msgId, const std::string& body);
    // Every post and publish so far, in order, refused ones included.
    std::vector<BusRecord> Sent() const;
    // Whether a module of this id is connected now.
    bool IsConnected(int32_t moduleId) const;
    // While down, every post and publish fails and nothing is delivered.
    void SetDown(bool down);
    // Waits (real time, bounded) until no delivery is queued or running.
    bool WaitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    struct Core;

private:
    std::shared_ptr<Core> core_;
};

// A connected module. Destroying it (or Disconnect) drops the messages still
// queued for it and joins its delivery thread, unless called on that thread.
// A link outliving its machine's bus turns inert.
class BusLink {
public:
    BusLink() = default;
    BusLink(BusLink&& other) noexcept;
    BusLink& operator=(BusLink&& other) noexcept;
    ~BusLink();

    explicit operator bool() const { return id_ != 0; }

    // Sends to message.receiverId as this module. Fails once for each fault
    // injected on "PostIPCMessage".
    bool Post(BusMessage message) const;
    // Sends to every module but this one (unless it asked for its own
    // publications). Fails once for each fault injected on "PublishIPCMessage".
    bool Publish(BusMessage message) const;
    void Disconnect();

private:
    friend class Bus;
    BusLink(std::weak_ptr<Bus::Core> core, uint64_t id) : core_(std::move(core)), id_(id) {}

    std::weak_ptr<Bus::Core> core_;
    uint64_t id_ = 0;
};

// A module a test connects to see what reaches it.
class BusObserver {
public:
    BusObserver(Bus& bus, int32_t moduleId, bool receiveOwnPublications = false);
    // What was delivered so far, in order (call Bus::WaitIdle first).
    std::vector<BusMessage> Received() const;
    // Posting and publishing as this module.
    const BusLink& Link() const { return link_; }

    struct Inbox;

private:
    std::shared_ptr<Inbox> inbox_;
    BusLink link_;
};

}  // namespace simbus
