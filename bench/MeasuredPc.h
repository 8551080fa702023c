// The PC the measurements run on: natively the simulated machine, on Windows
// the real system (Wine). Either way there is a console user with the keys the
// plug-in writes, a bus for its client, and programs that stand in for the
// watched ones and run until they are ended.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class MeasuredPc {
public:
    MeasuredPc();
    // Ends the programs still running and removes what the set-up made.
    ~MeasuredPc();
    MeasuredPc(const MeasuredPc&) = delete;
    MeasuredPc& operator=(const MeasuredPc&) = delete;

    // Starts a program under `imageName` that runs until EndProgram; returns
    // its process id. Throws std::runtime_error when it cannot be started.
    uint32_t StartProgram(const std::wstring& imageName);
    // Ends it as a crash would (exit code 1), without waiting for anything.
    void EndProgram(uint32_t processId);

    // The Linux proc directory of this process's threads ("task"); empty when
    // it is not known.
    std::filesystem::path ThreadDirectory() const;
    // Handles this process holds (natively the simulated machine's).
    long OpenHandles() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};
