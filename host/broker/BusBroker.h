// The host's bus broker: a named-pipe server that every module connects to.
//
// A module introduces itself with a hello frame carrying its id; a hello
// claiming the id of a module still connected is dropped. After that its
// posts go to the module with the receiver's id (a post for a module that is
// not connected is accepted and goes nowhere), and its
// publications to every other module (and itself, if its hello asked). A
// connection that sends a malformed frame, or anything before its hello, is
// dropped with a logged reason; the others are not disturbed.
#pragma once

#include <memory>
#include <string>

class BusBroker {
public:
    explicit BusBroker(std::wstring pipeName);
    // Stops first.
    ~BusBroker();
    BusBroker(const BusBroker&) = delete;
    BusBroker& operator=(const BusBroker&) = delete;

    // Creates the pipe and starts serving; false when the pipe cannot be
    // created, e.g. because another server owns the name. True when running.
    bool Start();
    // Disconnects every module and joins every thread the broker started.
    // Start may be called again afterwards.
    void Stop();

    struct Core;

private:
    const std::wstring pipeName_;
    std::shared_ptr<Core> core_;
};
