// The machine's state, shared by the core's source files. One recursive lock
// guards it all; `changed` is notified whenever anything a waiter may look at
// changes (clock, signalled objects, parked and blocked counts, threads).
#pragma once

#include <winsim/Machine.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <typeindex>
#include <vector>

namespace winsim {

// A library of the process: the executable or one a test added.
struct ModuleRecord {
    ModuleSpec spec;
    int loadCount = 0;
};

struct Machine::State {
    using Lock = std::unique_lock<std::recursive_mutex>;

    mutable std::recursive_mutex mutex;
    mutable std::condition_variable_any changed;

    struct HandleEntry {
        std::shared_ptr<Object> object;
        uint32_t grantedAccess;
        bool inheritable;
    };
    std::map<void*, HandleEntry> handles;
    std::map<std::string, size_t> resources;

    struct Fault {
        uint32_t error;
        int remaining;  // < 0: always
    };
    std::map<std::string, Fault> faults;

    uint64_t now = 0;
    std::multiset<uint64_t> deadlines;  // one per thread parked on the clock
    size_t blocked = 0;                 // threads waiting without a deadline
    size_t waiting = 0;                 // threads inside ParkUntil / BlockUntil
    size_t clockHolders = 0;            // threads on the clock not waiting (StartThreadOnClock)
    bool shuttingDown = false;

    std::vector<JournalEntry> journal;

    // unique_ptr: a record's address is its HMODULE and must not move.
    std::unique_ptr<ModuleRecord> executable = std::make_unique<ModuleRecord>();
    std::vector<std::unique_ptr<ModuleRecord>> libraries;

    size_t runningThreads = 0;
    uint32_t processId = 0;

    std::map<std::type_index, std::shared_ptr<void>> extensions;

    Lock Locked() const { return Lock(mutex); }
};

// Case-insensitive comparison of names (module and file names).
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
// The part of a path after its last backslash or slash.
std::wstring FileNameOf(const std::wstring& path);

}  // namespace winsim
