#include "BareWatcher.h"

BareWatcher::BareWatcher(uint32_t processId, HANDLE gone)
    : process_(OpenProcess(SYNCHRONIZE, FALSE, processId)) {
    // Without a process nothing is signalled: the round that wanted it times out.
    if (process_) {
        thread_ = std::thread([process = process_.get(), gone] {
            if (WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0) {
                SetEvent(gone);
            }
        });
    }
}

BareWatcher::~BareWatcher() {
    if (thread_.joinable()) {
        thread_.join();
    }
}
