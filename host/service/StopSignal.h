// Tells the service host and nxbus when to stop: Ctrl+C (or Ctrl+Break, or the
// console closing), or the end of the standard input.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class StopSignal {
public:
    // Which standard input's end asks for a stop.
    enum class InputEnd {
        Any,
        // A pipe's only: a file or the null device (what a script's background
        // commands get) is at its end from the start and is not watched.
        OfPipe,
    };

    explicit StopSignal(InputEnd inputEnd = InputEnd::Any);
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // False when the signal or the input's watch could not be set up.
    bool IsReady() const;
    // Blocks until the first stop request, or until `limit` has passed when
    // one is given; returns what it was.
    std::string Wait(std::optional<std::chrono::milliseconds> limit = std::nullopt) const;

    class State;

private:
    std::shared_ptr<State> state_;
    bool ready_ = false;
};
