#include "LibraryPin.h"
#include "win32/UniqueAny.h"

#include <mutex>
#include <utility>

namespace {

DWORD WINAPI ReleaseLibrary(LPVOID module) {
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    return 0;
}

}  // namespace

void LibraryPin::Take() {
    const std::lock_guard lock(mutex_);
    if (module_ == nullptr) {
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&ReleaseLibrary), &module_);
    }
}

void LibraryPin::Release() {
    HMODULE module = nullptr;
    {
        const std::lock_guard lock(mutex_);
        module = std::exchange(module_, nullptr);
    }
    if (module != nullptr) {
        const UniqueHandle thread(CreateThread(nullptr, 0, ReleaseLibrary, module, 0, nullptr));
    }
}
