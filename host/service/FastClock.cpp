#include "FastClock.h"

#include <algorithm>
#include <atomic>
#include <span>

namespace {

std::atomic<DWORD> clockSpeed{1};

// No wait and waits without limit mean the same at any speed; every other wait
// stays at least a millisecond, so that it still gives up the processor.
DWORD Shortened(DWORD milliseconds) {
    if (milliseconds == 0 || milliseconds == INFINITE) {
        return milliseconds;
    }
    return std::max<DWORD>(1, milliseconds / clockSpeed.load());
}

VOID WINAPI FastSleep(DWORD milliseconds) {
    Sleep(Shortened(milliseconds));
}

DWORD WINAPI FastWaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForSingleObject(handle, Shortened(milliseconds));
}

struct Replacement {
    const char* name;
    ULONG_PTR function;
};

template <typename T>
T* InImage(HMODULE library, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(library) + offset);
}

bool Overwrite(ULONG_PTR& slot, ULONG_PTR value) {
    DWORD previous = 0;
    if (!VirtualProtect(&slot, sizeof slot, PAGE_READWRITE, &previous)) {
        return false;
    }
    slot = value;
    DWORD ignored = 0;
    VirtualProtect(&slot, sizeof slot, previous, &ignored);
    return true;
}

// Points the slots of one library's imports from the system library at their
// replacements; counts the slots replaced, or -1 when one could not be written.
int ReplaceImports(HMODULE library, const IMAGE_IMPORT_DESCRIPTOR& imported,
                   std::span<const Replacement> replacements) {
    // Without the names (a bound table only) the imports cannot be told apart.
    if (imported.OriginalFirstThunk == 0) {
        return 0;
    }
    int replaced = 0;
    auto* name = InImage<IMAGE_THUNK_DATA>(library, imported.OriginalFirstThunk);
    auto* slot = InImage<IMAGE_THUNK_DATA>(library, imported.FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
        if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) {
            continue;
        }
        const char* function =
            InImage<IMAGE_IMPORT_BY_NAME>(library, static_cast<DWORD>(name->u1.AddressOfData))
                ->Name;
        for (const Replacement& replacement : replacements) {
            if (lstrcmpA(function, replacement.name) != 0) {
                continue;
            }
            if (!Overwrite(slot->u1.Function, replacement.function)) {
                return -1;
            }
            ++replaced;
        }
    }
    return replaced;
}

}  // namespace

bool SpeedUpTimedWaits(HMODULE library, DWORD speed) {
    const Replacement replacements[] = {
        {"Sleep", reinterpret_cast<ULONG_PTR>(&FastSleep)},
        {"WaitForSingleObject", reinterpret_cast<ULONG_PTR>(&FastWaitForSingleObject)},
    };
    clockSpeed.store(std::max<DWORD>(1, speed));
    const auto* image = reinterpret_cast<const IMAGE_DOS_HEADER*>(library);
    const IMAGE_DATA_DIRECTORY& directory =
        InImage<IMAGE_NT_HEADERS>(library, static_cast<DWORD>(image->e_lfanew))
            ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) {
        return false;
    }
    int replaced = 0;
    for (auto* imported = InImage<IMAGE_IMPORT_DESCRIPTOR>(library, directory.VirtualAddress);
         imported->Name != 0; ++imported) {
        if (lstrcmpiA(InImage<char>(library, imported->Name), "KERNEL32.dll") != 0) {
            continue;
        }
        const int count = ReplaceImports(library, *imported, replacements);
        if (count < 0) {
            return false;
        }
        replaced += count;
    }
    return replaced > 0;
}
