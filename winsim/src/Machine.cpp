#include "MachineState.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace winsim {

namespace {

// Global, not per thread: worker threads act on the machine their test installed.
std::atomic<Machine*> installed{nullptr};

// The process id the simulated code runs in unless a test chooses another.
constexpr uint32_t kDefaultProcessId = 4200;

// How long the destructor waits for the threads the machine started.
constexpr auto kThreadDrainTimeout = std::chrono::seconds(10);

}  // namespace

Machine::Machine() : state_(std::make_unique<State>()) {
    state_->processId = kDefaultProcessId;
    state_->executable->loadCount = 1;
}

Machine::~Machine() {
    if (!WaitForThreads(kThreadDrainTimeout)) {
        std::fprintf(stderr, "winsim: %zu thread(s) still running when the machine was destroyed\n",
                     RunningThreads());
    }
    // Release every thread still waiting on this machine and let it leave the
    // lock before the lock and the condition variable go away.
    auto lock = state_->Locked();
    state_->shuttingDown = true;
    state_->changed.notify_all();
    state_->changed.wait(lock, [this] { return state_->waiting == 0; });
}

Machine& Current() {
    Machine* machine = installed.load();
    if (machine == nullptr) {
        std::fprintf(stderr,
                     "winsim: a Win32 function was called with no machine installed; create a "
                     "winsim::Machine and a winsim::MachineScope first\n");
        std::abort();
    }
    return *machine;
}

MachineScope::MachineScope(Machine& machine) {
    installed.store(&machine);
}

MachineScope::~MachineScope() {
    installed.store(nullptr);
}

std::shared_ptr<void> Machine::ExtensionSlot(std::type_index type,
                                             const std::function<std::shared_ptr<void>()>& make) {
    auto lock = state_->Locked();
    auto& slot = state_->extensions[type];
    if (!slot) {
        slot = make();
    }
    return slot;
}

void Machine::Fail(const std::string& function, uint32_t error, int times) {
    if (times == 0) {
        return;
    }
    auto lock = state_->Locked();
    state_->faults[function] = State::Fault{error, times};
}

void Machine::ClearFaults() {
    auto lock = state_->Locked();
    state_->faults.clear();
}

bool Machine::TakeFault(const std::string& function, uint32_t& error) {
    auto lock = state_->Locked();
    const auto fault = state_->faults.find(function);
    if (fault == state_->faults.end()) {
        return false;
    }
    error = fault->second.error;
    if (fault->second.remaining > 0 && --fault->second.remaining == 0) {
        state_->faults.erase(fault);
    }
    return true;
}

void Machine::ThreadStarted() {
    auto lock = state_->Locked();
    ++state_->runningThreads;
}

void Machine::ThreadFinished() {
    auto lock = state_->Locked();
    --state_->runningThreads;
    state_->changed.notify_all();
}

size_t Machine::RunningThreads() const {
    auto lock = state_->Locked();
    return state_->runningThreads;
}

bool Machine::WaitForThreads(std::chrono::milliseconds timeout) const {
    auto lock = state_->Locked();
    return state_->changed.wait_for(lock, timeout, [this] { return state_->runningThreads == 0; });
}

void Machine::SetCurrentProcessId(uint32_t pid) {
    auto lock = state_->Locked();
    state_->processId = pid;
}

uint32_t Machine::CurrentProcessId() const {
    auto lock = state_->Locked();
    return state_->processId;
}

}  // namespace winsim
