// Linked into the libraries the host loads and unloads (the plug-in and the
// component library) in place of the threading runtime's pthread_once, which
// the C++ runtime calls for its one-time set-ups (the locale of the first text
// stream, the lock of the first function-local static). The runtime's version
// leaves a record of the calling thread, an event and a thread handle, that
// nothing frees when the library unloads while that thread, the host's, lives
// on: one per load. This one keeps nothing. Microsoft's runtime needs no such
// thing: its one-time set-ups keep no record of the threads.
#include <windows.h>

#include <pthread.h>

namespace {

constexpr LONG kNotRun = 0;
constexpr LONG kDone = 1;  // what the runtime's own fast path looks for
constexpr LONG kRunning = 2;

}  // namespace

extern "C" int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
    volatile LONG* const state = reinterpret_cast<volatile LONG*>(once);
    if (*state == kDone) {
        return 0;
    }
    if (InterlockedCompareExchange(state, kRunning, kNotRun) == kNotRun) {
        init();
        InterlockedExchange(state, kDone);
        return 0;
    }
    // Another thread runs it; set-ups are short.
    while (*state != kDone) {
        SwitchToThread();
    }
    return 0;
}
