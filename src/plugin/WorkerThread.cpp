#include "WorkerThread.h"
#include "process/UniqueHandle.h"

#include <windows.h>

#include <memory>

namespace {

DWORD WINAPI RunBody(LPVOID parameter) {
    const std::unique_ptr<std::function<void()>> body(
        static_cast<std::function<void()>*>(parameter));
    // A worker thread is an edge: nothing it throws may end the host process.
    try {
        (*body)();
    } catch (...) {
    }
    return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    const UniqueHandle thread(CreateThread(nullptr, 0, RunBody, owned.get(), 0, nullptr));
    if (!thread) {
        return false;
    }
    owned.release();  // the thread owns it now
    return true;
}
