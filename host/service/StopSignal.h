// Tells the service host when to stop: Ctrl+C (or Ctrl+Break, or the console
// closing), or the end of its standard input.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // False when the signal could not be set up; Wait() would never return.
    bool IsReady() const;
    // Blocks until the first stop request, or until `limit` has passed when
    // one is given; returns what it was.
    std::string Wait(std::optional<std::chrono::milliseconds> limit = std::nullopt) const;

    class State;

private:
    std::shared_ptr<State> state_;
};
