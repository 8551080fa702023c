#include "WorkerThread.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <memory>

namespace {

struct WorkerStart {
    std::function<void()> body;
    // Keeps this library loaded while the thread runs its code, so that the
    // host may unload the plug-in while a monitor still waits.
    UniqueModule library;
};

DWORD WINAPI RunBody(LPVOID parameter) {
    HMODULE library = nullptr;
    {
        const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
        library = start->library.release();
        // A worker thread is an edge: nothing it throws may end the host process.
        try {
            start->body();
        } catch (...) {
        }
    }
    // Leaves the library's code and releases it in one step.
    FreeLibraryAndExitThread(library, 0);
    return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
    auto start = std::make_unique<WorkerStart>();
    start->body = std::move(body);
    // A thread without its own reference could outlive the library's code.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&RunBody), start->library.put())) {
        return false;
    }
    // Without a thread, `start` gives the library back as it goes.
    const UniqueHandle thread(CreateThread(nullptr, 0, RunBody, start.get(), 0, nullptr));
    if (!thread) {
        return false;
    }
    start.release();  // the thread owns it now
    return true;
}
