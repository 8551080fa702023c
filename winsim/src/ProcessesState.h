// The process table's state, shared by the area's source files.
//
// Lock order: the table's mutex and a process's own mutex are never held while
// the Machine is called, because IsSignalled takes the process's mutex with the
// machine's lock held.
#pragma once

#include <winsim/SimProcesses.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winsim {

// A process: what its handles refer to. Signalled once it has ended.
class ProcessObject : public Waitable {
public:
    explicit ProcessObject(ProcessInfo info);
    const char* Kind() const override { return "process"; }
    bool IsSignalled() const override;

    ProcessInfo Info() const;  // with the current state
    uint32_t Id() const { return id_; }
    bool Running() const;
    uint32_t ExitCode() const;  // STILL_ACTIVE while running
    // Ending takes two steps, so that what records the end comes before any
    // waiter can see it: ClaimEnd is true for the one caller that goes on to
    // Finish, which sets the exit code and signals the process.
    bool ClaimEnd();
    void Finish(uint32_t exitCode);
    void DenyOpen();
    bool OpenDenied() const;

private:
    const uint32_t id_;
    mutable std::mutex mutex_;
    ProcessInfo info_;
    bool endClaimed_ = false;
    bool openDenied_ = false;
};

// A process's main thread, whose handle creation hands back with the
// process's; it ends with the process.
class ProcessThreadObject : public Waitable {
public:
    explicit ProcessThreadObject(std::shared_ptr<ProcessObject> process)
        : process_(std::move(process)) {}
    const char* Kind() const override { return "thread"; }
    bool IsSignalled() const override { return process_->IsSignalled(); }

private:
    const std::shared_ptr<ProcessObject> process_;
};

struct Processes::State {
    struct NoCaseLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<ProcessObject>> table;  // creation order
    std::shared_ptr<ProcessObject> self;                // made on first use, see Self()
    std::map<std::wstring, Program, NoCaseLess> programs;
    uint32_t unregisteredProgramError;
    uint32_t nextId;
};

// The process the simulated code runs in, as the machine describes it now.
std::shared_ptr<ProcessObject> SelfProcess(Machine& machine);
// Any process by id, the service itself included; null when unknown.
std::shared_ptr<ProcessObject> FindProcess(Machine& machine, uint32_t id);
// Running processes in snapshot order.
std::vector<std::shared_ptr<ProcessObject>> RunningProcesses(Machine& machine);
// Adds a running process with fresh process and thread ids; returns it and the thread id.
std::shared_ptr<ProcessObject> AddProcess(Machine& machine, ProcessInfo info, uint32_t& threadId);
// Ends the process, records it and wakes its waiters; nothing when it has ended.
void EndProcess(Machine& machine, ProcessObject& process, uint32_t exitCode);
// Starts the process's program on its own thread (see Program).
void RunProgram(Machine& machine, std::shared_ptr<ProcessObject> process, Program program);

}  // namespace winsim
