#include "Faults.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace {

constexpr const char* kResourceKind = "local memory";

// Blocks handed out by LocalAlloc; the machine frees what a test forgot.
class LocalBlocks {
public:
    void* Add(size_t bytes, bool zeroed) {
        std::unique_ptr<unsigned char[]> block(zeroed ? new (std::nothrow) unsigned char[bytes]()
                                                      : new (std::nothrow) unsigned char[bytes]);
        if (!block) {
            return nullptr;
        }
        std::lock_guard lock(mutex_);
        void* address = block.get();
        blocks_.emplace(address, std::move(block));
        return address;
    }
    bool Remove(void* address) {
        std::unique_ptr<unsigned char[]> block;  // freed after the lock is released
        std::lock_guard lock(mutex_);
        const auto found = blocks_.find(address);
        if (found == blocks_.end()) {
            return false;
        }
        block = std::move(found->second);
        blocks_.erase(found);
        return true;
    }

private:
    std::mutex mutex_;
    std::map<void*, std::unique_ptr<unsigned char[]>> blocks_;
};

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "LocalAlloc")) {
        return nullptr;
    }
    // A zero-byte request still yields a distinct block, as on Windows.
    void* block = machine.Extension<LocalBlocks>().Add(uBytes == 0 ? 1 : uBytes,
                                                       (uFlags & LMEM_ZEROINIT) != 0);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    machine.AcquireResource(kResourceKind);
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem == nullptr) {
        return nullptr;
    }
    auto& machine = winsim::Current();
    if (!machine.Extension<LocalBlocks>().Remove(hMem)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    machine.ReleaseResource(kResourceKind);
    return nullptr;
}
