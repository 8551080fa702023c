// Processes of the simulated machine (test-facing API).
//
// Tests reach it through the machine: machine.Extension<winsim::Processes>().
// The machine must be installed (MachineScope) when it is used.
//
// The process table holds every process in creation order, ended ones
// included. A new machine has "[System Process]" (id 0) and "System" (id 4);
// the service itself (GetCurrentProcessId(), the file name of the machine's
// executable path, session 0, NT AUTHORITY\SYSTEM) comes next in snapshots.
// Snapshots list the running processes in that order. New ids are multiples of
// 4 from 10000 on, a process's main thread taking the id after it.
//
// What can be started: a program registered here (by image name, without
// regard to case), the machine's own executable, and, only when the test asks
// for it, anything else. Starting another program fails with
// ERROR_FILE_NOT_FOUND, as Windows does for a missing executable. The image
// name is taken the way Windows takes it: the application name when one is
// given, else the command line's first token (up to the closing quote when it
// starts with one, else up to the first space or tab); its file name, with
// ".exe" added when it has no extension. A command line longer than 32766
// characters fails with ERROR_FILENAME_EXCED_RANGE, as on Windows.
//
// Journal, kind "process", one line per effect:
//
//   A creation call that got past its injected fault (whatever its outcome):
//     <function> user=<NAME> session=N app=<TEXT>|(null) cmd=<TEXT>|(null)
//       dir=<TEXT>|(null) env=ENV flags=0xHEX inherit=0|1 psa=SA tsa=SA
//       si.cb=ok|N desktop=<TEXT>|(null) startf=0xHEX show=N[ si.other=FIELD,...]
//       -> pid N | -> error N
//   on one line, fields separated by single spaces, where
//     <function>  CreateProcessW or CreateProcessAsUserW;
//     user, session  CreateProcessAsUserW: the token's; CreateProcessW: the
//                 service's own (NT AUTHORITY\SYSTEM, 0); both "(bad token)"
//                 when the handle is not a token;
//     ENV         "inherit" when no block is passed; with
//                 CREATE_UNICODE_ENVIRONMENT the block's USERNAME entry as
//                 <USERNAME=value>, or <N variables> when it has none; "narrow"
//                 for a block passed without that flag;
//     SA          "(null)"; "default" for a record with its size set, no
//                 descriptor and not inheritable; else
//                 {nLength=N,sd=0|1,inherit=0|1};
//     si.cb       "ok" when it is sizeof(STARTUPINFOW), else its value;
//     si.other    the start-up fields besides cb, lpDesktop, dwFlags and
//                 wShowWindow that are not zero, by their SDK names.
//   A process that ends (by itself, by a test or TerminateProcess):
//     ended <IMAGE> pid=N exit=N
#pragma once

#include <winsim/Machine.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

struct ProcessInfo {
    uint32_t id = 0;
    std::wstring imageName;  // as snapshots show it, e.g. L"cmd.exe"
    uint32_t parentId = 0;
    uint32_t sessionId = 0;
    std::wstring user;              // NameSamCompatible form, e.g. L"DESKTOP\\alice"
    std::wstring commandLine;       // as passed to the creation call
    std::wstring currentDirectory;  // as passed; empty when inherited
    // The environment block's "NAME=value" entries; empty when none was passed.
    std::vector<std::wstring> environment;
    bool running = true;
    uint32_t exitCode = 259;  // STILL_ACTIVE while running
};

// What a registered program does when it is started. As on Windows, the
// creation call does not wait for it: the program starts, at the virtual time
// of the creation, on a thread of its own that the machine counts
// (RunningThreads, WaitForThreads), and runs alongside its creator (not at
// all when created suspended). Its work takes no virtual time: the clock does
// not move on while a program runs, only while it waits (Sleep,
// WaitForSingleObject, Machine::ParkUntil). When it returns, its process ends
// with exit code 0 unless it ended otherwise (Processes::End). A test that
// looks at what a program did waits for it first: for its thread
// (WaitForThreads) or, for one that waits on the clock, by moving the clock.
using Program = std::function<void(Machine& machine, const ProcessInfo& process)>;

// Ready-made programs.
namespace programs {
// Ends at once with `exitCode`.
Program ExitsAtOnce(uint32_t exitCode = 0);
// Runs for `milliseconds` of virtual time, then ends with `exitCode`; it also
// stops when the process is ended sooner. A test must move the clock on (or
// end the process) before it finishes.
Program RunsFor(uint64_t milliseconds, uint32_t exitCode = 0);
}  // namespace programs

// Options of a process a test puts in the table itself.
struct StartOptions {
    uint32_t sessionId = 1;
    std::wstring user;
    std::wstring commandLine;  // empty: the image name
    uint32_t parentId = 0;
};

class Processes {
public:
    Processes();
    ~Processes();
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;

    // Makes `imageName` startable; `program` (may be empty: the process then
    // runs, without a thread, until it is ended) runs each time it starts.
    // Registering again replaces.
    void Register(const std::wstring& imageName, Program program = {});
    // What starting an unregistered program does: fail with `error`
    // (ERROR_FILE_NOT_FOUND on a new machine) or, with 0, start a process that
    // runs until it is ended.
    void SetUnregisteredProgramError(uint32_t error);

    // Puts a running process in the table as if someone else had started it;
    // no program runs. Returns its id.
    uint32_t Start(const std::wstring& imageName, const StartOptions& options = {});
    // Ends a running process with `exitCode` and wakes its waiters; nothing
    // happens when it has ended already. Throws std::out_of_range for an
    // unknown id.
    void End(uint32_t id, uint32_t exitCode = 0);
    // OpenProcess of this id fails with ERROR_ACCESS_DENIED from now on.
    void DenyOpen(uint32_t id);

    // Every process in creation order (the service itself not included).
    std::vector<ProcessInfo> List() const;
    // The first running process with that image name, without regard to case.
    std::optional<ProcessInfo> Find(const std::wstring& imageName) const;

    // Implementation detail shared by the area's source files.
    struct State;
    State& state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

}  // namespace winsim
