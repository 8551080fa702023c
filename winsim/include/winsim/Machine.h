// The simulated Windows machine that native builds run against.
//
// A test creates a Machine and installs it (MachineScope); every Win32 function
// declared in winsim's SDK headers then acts on that machine. The machine keeps
// a handle table, per-thread last error, a virtual clock, injectable faults and
// a journal of externally visible effects that tests read in order.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

namespace winsim {

// One externally visible effect, in the order it happened.
struct JournalEntry {
    std::string kind;  // "log", "event", "post", "publish", "process", "registry", "report", ...
    std::string text;  // the effect, written so that a test can compare it as a string
    uint64_t time;     // virtual milliseconds when it happened
};

// A kernel object that handles refer to. Each kind of object derives from it.
class Object {
public:
    virtual ~Object() = default;
    virtual const char* Kind() const = 0;
};

// An object that WaitForSingleObject can wait on (events, threads, processes).
// A new waitable kind derives from this, is put in the handle table with
// AddHandle (so CloseHandle works on it) and, whenever what IsSignalled returns
// changes, calls Machine::NotifyStateChanged() afterwards.
//
// IsSignalled and Consume run with the machine's lock held: they may read
// atomics or take a lock of their own under which the Machine is never called.
class Waitable : public Object {
public:
    virtual bool IsSignalled() const = 0;
    // Called once for the wait that this object satisfied; an auto-reset event
    // resets itself here. Objects that stay signalled do nothing.
    virtual void Consume() {}
};

// A library the machine can hand out through GetModuleHandleW / LoadLibraryW.
struct ModuleSpec {
    std::wstring path;                     // full path, e.g. L"C:\\Host\\VLAPluginsManager.dll"
    std::map<std::string, void*> exports;  // export name -> function address
    bool loaded = false;                   // already loaded by the process when the test starts
};

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // --- handle table ---------------------------------------------------------
    // Every HANDLE the machine gives out lives here until CloseHandle (or the
    // kind's own release call) removes it, with the access rights it was
    // granted: all of them unless the call that made it grants fewer (as
    // OpenProcess and DuplicateTokenEx grant what they are asked for). Only
    // OpenProcess makes a handle inheritable, when asked to; each such handle
    // adds a journal entry "handle: inheritable <kind>" (e.g. "process").
    static constexpr uint32_t kAllRights = 0xFFFFFFFF;
    void* AddHandle(std::shared_ptr<Object> object, uint32_t grantedAccess = kAllRights,
                    bool inheritable = false);
    std::shared_ptr<Object> Lookup(void* handle) const;
    // The rights the handle was granted (none for a handle the machine does
    // not know), and whether it was granted every one of `rights`.
    uint32_t GrantedAccess(void* handle) const;
    bool Grants(void* handle, uint32_t rights) const {
        return (GrantedAccess(handle) & rights) == rights;
    }
    template <class T>
    std::shared_ptr<T> LookupAs(void* handle) const {
        return std::dynamic_pointer_cast<T>(Lookup(handle));
    }
    bool Inheritable(void* handle) const;
    bool RemoveHandle(void* handle);
    size_t OpenHandleCount() const;
    std::vector<std::string> OpenHandleKinds() const;  // for failure messages

    // Other resources that must be released (environment blocks, LocalAlloc
    // strings, WTS memory, preparsed data, COM references, registry keys) are
    // counted here by kind; the open-handle count includes them.
    void AcquireResource(const std::string& kind);
    bool ReleaseResource(const std::string& kind);

    // --- faults ---------------------------------------------------------------
    // Makes `function` (its Win32 name, e.g. "CreateEventW") fail with `error`
    // the next `times` calls; times < 0 means always.
    void Fail(const std::string& function, uint32_t error, int times = 1);
    void ClearFaults();
    // Called by a function at its start: true (with the error in `error`) when
    // it must fail now.
    bool TakeFault(const std::string& function, uint32_t& error);

    // --- virtual clock --------------------------------------------------------
    uint64_t Now() const;  // virtual milliseconds since the machine was made
    // Moves the clock forward, waking every waiter whose deadline has come;
    // returns once those waiters have left their wait (they run on from there).
    // Threads that hold the clock (StartThreadOnClock) are waited for first
    // and last: the clock moves only while each of them waits or has ended.
    void Advance(uint64_t ms);
    // Moves the clock to the earliest deadline of a parked waiter (if any) and
    // wakes it like Advance; returns false when no thread is parked on the clock.
    bool AdvanceToNextDeadline();
    size_t ParkedCount() const;  // threads in Sleep or a timed wait
    // Blocks (in real time, up to `timeout`) until at least `count` threads are
    // parked on the clock. Returns whether that happened.
    bool WaitForParked(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Parks the calling thread until the virtual clock reaches `deadline` or
    // `wake` returns true (checked whenever the machine's state changes).
    // Returns true when woken by `wake`, false when the deadline came.
    // `wake` runs with the machine's lock held (see Waitable). A thread still
    // waiting when its machine is destroyed never returns: it sleeps until the
    // program ends, so it cannot touch the destroyed machine.
    bool ParkUntil(uint64_t deadline, const std::function<bool()>& wake);
    // Blocks the calling thread without a deadline until `wake` returns true.
    void BlockUntil(const std::function<bool()>& wake);
    size_t BlockedCount() const;  // threads in a wait without a time limit
    // Blocks (in real time, up to `timeout`) until at least `count` threads are
    // blocked without a time limit (INFINITE waits, BlockUntil).
    bool WaitForBlocked(size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Tells blocked and parked threads that state changed (an object was signalled).
    void NotifyStateChanged();

    // --- journal --------------------------------------------------------------
    void Record(const std::string& kind, const std::string& text);
    std::vector<JournalEntry> Journal() const;
    std::vector<std::string> JournalTexts(const std::string& kind) const;
    // Kind and text joined as "kind: text", in order; kinds empty means all.
    std::vector<std::string> JournalLines(const std::vector<std::string>& kinds = {}) const;
    void ClearJournal();

    // --- libraries ------------------------------------------------------------
    void SetExecutablePath(const std::wstring& path);  // GetModuleFileNameW(NULL, ...)
    std::wstring ExecutablePath() const;
    void AddModule(const ModuleSpec& spec);
    // Load count of the module with that file name (0 when not loaded).
    int ModuleLoadCount(const std::wstring& fileName) const;

    // --- threads --------------------------------------------------------------
    // Threads started through CreateThread run as real threads; the machine
    // counts them so that a test can wait until every worker has finished.
    void ThreadStarted();
    void ThreadFinished();
    size_t RunningThreads() const;
    // Runs `body` on a thread of its own, counted like CreateThread's, which
    // holds the virtual clock whenever it is not waiting: what it does takes
    // no virtual time, and the clock does not move on before it waits or ends
    // (the simulated PC's own programs run so). False, with nothing started,
    // when no thread can be made.
    bool StartThreadOnClock(std::function<void()> body);
    bool WaitForThreads(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // GetCurrentProcessId: the process the simulated code runs in.
    void SetCurrentProcessId(uint32_t pid);
    uint32_t CurrentProcessId() const;

    // --- extensions -----------------------------------------------------------
    // Each simulated subsystem (registry, processes, display, HID, audio) keeps
    // its state in one extension object, made on first use and destroyed with
    // the machine, so that the core needs no knowledge of them. Code above the
    // platform (the host's simulated bus) may keep its own the same way.
    template <class T>
    T& Extension() {
        return *static_cast<T*>(ExtensionSlot(typeid(T), [] {
                                    return std::shared_ptr<void>(std::make_shared<T>());
                                }).get());
    }

    // Implementation detail shared by the machine's source files.
    struct State;
    State& state() const { return *state_; }

private:
    std::shared_ptr<void> ExtensionSlot(std::type_index type,
                                        const std::function<std::shared_ptr<void>()>& make);
    std::unique_ptr<State> state_;
};

// The machine the Win32 functions act on. Aborts with a clear message when no
// machine is installed.
Machine& Current();

// Installs a machine for the lifetime of the scope.
class MachineScope {
public:
    explicit MachineScope(Machine& machine);
    ~MachineScope();
    MachineScope(const MachineScope&) = delete;
    MachineScope& operator=(const MachineScope&) = delete;
};

// Text helpers for journal entries.
std::string Narrow(const std::wstring& text);  // UTF-16/32 to UTF-8
std::wstring Widen(const std::string& text);   // UTF-8 to wide

}  // namespace winsim
