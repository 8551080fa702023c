// The process table and its test API.
#include "MachineState.h"
#include "ProcessesState.h"

#include <winsim/SimSessions.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <stdexcept>
#include <utility>

namespace winsim {

namespace {

// Windows process ids are multiples of 4; these stay clear of the pseudo
// processes and of the service's own id.
constexpr uint32_t kFirstProcessId = 10000;
constexpr uint32_t kIdStep = 4;
constexpr uint32_t kIdleProcessId = 0;
constexpr uint32_t kSystemProcessId = 4;

std::shared_ptr<ProcessObject> PseudoProcess(uint32_t id, const std::wstring& imageName) {
    ProcessInfo info;
    info.id = id;
    info.imageName = imageName;
    info.commandLine = imageName;
    info.user = Sessions::ServiceAccount().name;
    info.sessionId = 0;
    return std::make_shared<ProcessObject>(std::move(info));
}

}  // namespace

ProcessObject::ProcessObject(ProcessInfo info) : id_(info.id), info_(std::move(info)) {
    info_.running = true;
    info_.exitCode = STILL_ACTIVE;
}

bool ProcessObject::IsSignalled() const {
    return !Running();
}

ProcessInfo ProcessObject::Info() const {
    std::lock_guard lock(mutex_);
    return info_;
}

bool ProcessObject::Running() const {
    std::lock_guard lock(mutex_);
    return info_.running;
}

uint32_t ProcessObject::ExitCode() const {
    std::lock_guard lock(mutex_);
    return info_.exitCode;
}

bool ProcessObject::ClaimEnd() {
    std::lock_guard lock(mutex_);
    return !std::exchange(endClaimed_, true);
}

void ProcessObject::Finish(uint32_t exitCode) {
    std::lock_guard lock(mutex_);
    info_.running = false;
    info_.exitCode = exitCode;
}

void ProcessObject::DenyOpen() {
    std::lock_guard lock(mutex_);
    openDenied_ = true;
}

bool ProcessObject::OpenDenied() const {
    std::lock_guard lock(mutex_);
    return openDenied_;
}

bool Processes::State::NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) {
                                            return std::towlower(static_cast<std::wint_t>(x)) <
                                                   std::towlower(static_cast<std::wint_t>(y));
                                        });
}

Processes::Processes() : state_(std::make_unique<State>()) {
    state_->unregisteredProgramError = ERROR_FILE_NOT_FOUND;
    state_->nextId = kFirstProcessId;
    state_->table.push_back(PseudoProcess(kIdleProcessId, L"[System Process]"));
    auto system = PseudoProcess(kSystemProcessId, L"System");
    // Nobody opens the kernel's process with full access.
    system->DenyOpen();
    state_->table.push_back(std::move(system));
}

Processes::~Processes() = default;

void Processes::Register(const std::wstring& imageName, Program program) {
    std::lock_guard lock(state_->mutex);
    state_->programs[imageName] = std::move(program);
}

void Processes::SetUnregisteredProgramError(uint32_t error) {
    std::lock_guard lock(state_->mutex);
    state_->unregisteredProgramError = error;
}

uint32_t Processes::Start(const std::wstring& imageName, const StartOptions& options) {
    ProcessInfo info;
    info.imageName = imageName;
    info.parentId = options.parentId;
    info.sessionId = options.sessionId;
    info.user = options.user;
    info.commandLine = options.commandLine.empty() ? imageName : options.commandLine;
    uint32_t threadId = 0;
    return AddProcess(Current(), std::move(info), threadId)->Id();
}

void Processes::End(uint32_t id, uint32_t exitCode) {
    Machine& machine = Current();
    const auto process = FindProcess(machine, id);
    if (!process) {
        throw std::out_of_range("winsim: no process with id " + std::to_string(id));
    }
    EndProcess(machine, *process, exitCode);
}

void Processes::DenyOpen(uint32_t id) {
    const auto process = FindProcess(Current(), id);
    if (!process) {
        throw std::out_of_range("winsim: no process with id " + std::to_string(id));
    }
    process->DenyOpen();
}

std::vector<ProcessInfo> Processes::List() const {
    std::lock_guard lock(state_->mutex);
    std::vector<ProcessInfo> processes;
    for (const auto& process : state_->table) {
        processes.push_back(process->Info());
    }
    return processes;
}

std::optional<ProcessInfo> Processes::Find(const std::wstring& imageName) const {
    std::lock_guard lock(state_->mutex);
    for (const auto& process : state_->table) {
        ProcessInfo info = process->Info();
        if (info.running && EqualsNoCase(info.imageName, imageName)) {
            return info;
        }
    }
    return std::nullopt;
}

std::shared_ptr<ProcessObject> SelfProcess(Machine& machine) {
    const uint32_t id = machine.CurrentProcessId();
    const std::wstring imageName = FileNameOf(machine.ExecutablePath());
    auto& state = machine.Extension<Processes>().state();
    std::lock_guard lock(state.mutex);
    // A test may set the executable path or the id after the first use.
    if (!state.self || state.self->Id() != id || state.self->Info().imageName != imageName) {
        ProcessInfo info;
        info.id = id;
        info.imageName = imageName;
        info.commandLine = machine.ExecutablePath();
        info.user = Sessions::ServiceAccount().name;
        info.sessionId = 0;
        state.self = std::make_shared<ProcessObject>(std::move(info));
    }
    return state.self;
}

std::shared_ptr<ProcessObject> FindProcess(Machine& machine, uint32_t id) {
    auto self = SelfProcess(machine);
    if (self->Id() == id) {
        return self;
    }
    auto& state = machine.Extension<Processes>().state();
    std::lock_guard lock(state.mutex);
    const auto found = std::find_if(
        state.table.begin(), state.table.end(),
        [id](const std::shared_ptr<ProcessObject>& process) { return process->Id() == id; });
    return found == state.table.end() ? nullptr : *found;
}

std::vector<std::shared_ptr<ProcessObject>> RunningProcesses(Machine& machine) {
    auto self = SelfProcess(machine);
    auto& state = machine.Extension<Processes>().state();
    std::lock_guard lock(state.mutex);
    std::vector<std::shared_ptr<ProcessObject>> running;
    for (const auto& process : state.table) {
        if (process->Running()) {
            running.push_back(process);
        }
        // The service comes right after the system's own processes.
        if (process->Id() == kSystemProcessId) {
            running.push_back(self);
        }
    }
    return running;
}

std::shared_ptr<ProcessObject> AddProcess(Machine& machine, ProcessInfo info, uint32_t& threadId) {
    auto& state = machine.Extension<Processes>().state();
    std::lock_guard lock(state.mutex);
    info.id = state.nextId;
    threadId = state.nextId + kIdStep;
    state.nextId += 2 * kIdStep;
    auto process = std::make_shared<ProcessObject>(std::move(info));
    state.table.push_back(process);
    return process;
}

void EndProcess(Machine& machine, ProcessObject& process, uint32_t exitCode) {
    if (!process.ClaimEnd()) {
        return;
    }
    // A test that saw the process end finds its end in the journal.
    machine.Record("process", "ended <" + Narrow(process.Info().imageName) +
                                  "> pid=" + std::to_string(process.Id()) +
                                  " exit=" + std::to_string(exitCode));
    process.Finish(exitCode);
    machine.NotifyStateChanged();
}

void RunProgram(Machine& machine, std::shared_ptr<ProcessObject> process, Program program) {
    const ProcessInfo info = process->Info();
    const bool started =
        machine.StartThreadOnClock([&machine, process, program = std::move(program), info] {
            program(machine, info);
            EndProcess(machine, *process, 0);
        });
    if (!started) {
        // No thread to run it: it ends at once rather than never.
        EndProcess(machine, *process, ERROR_NOT_ENOUGH_MEMORY);
    }
}

namespace programs {

Program ExitsAtOnce(uint32_t exitCode) {
    return [exitCode](Machine& machine, const ProcessInfo& process) {
        machine.Extension<Processes>().End(process.id, exitCode);
    };
}

Program RunsFor(uint64_t milliseconds, uint32_t exitCode) {
    return [milliseconds, exitCode](Machine& machine, const ProcessInfo& started) {
        const auto process = FindProcess(machine, started.id);
        if (!machine.ParkUntil(machine.Now() + milliseconds,
                               [&process] { return !process->Running(); })) {
            EndProcess(machine, *process, exitCode);
        }
    };
}

}  // namespace programs

}  // namespace winsim
