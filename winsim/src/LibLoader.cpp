#include "Faults.h"
#include "MachineState.h"

#include <windows.h>

#include <algorithm>

namespace winsim {

namespace {

// Names without an extension mean a ".dll"; a trailing dot means "no extension".
std::wstring WithDefaultExtension(std::wstring name) {
    const std::wstring file = FileNameOf(name);
    if (!file.empty() && file.back() == L'.') {
        name.pop_back();
    } else if (file.find(L'.') == std::wstring::npos) {
        name += L".dll";
    }
    return name;
}

// The module a name refers to: a full path is compared with full paths, a bare
// file name with the modules' file names, both without regard to case.
ModuleRecord* FindByName(Machine::State& state, const std::wstring& rawName) {
    const std::wstring name = WithDefaultExtension(rawName);
    const bool isPath = name.find_first_of(L"\\/") != std::wstring::npos;
    const auto matches = [&](const ModuleRecord& record) {
        return EqualsNoCase(name, isPath ? record.spec.path : FileNameOf(record.spec.path));
    };
    if (matches(*state.executable)) {
        return state.executable.get();
    }
    const auto found = std::find_if(state.libraries.begin(), state.libraries.end(),
                                    [&](const auto& record) { return matches(*record); });
    return found == state.libraries.end() ? nullptr : found->get();
}

// Where LoadLibraryW looks for a bare name that no loaded module has: the
// executable's directory, then the system directories. Neither the current
// directory nor PATH is simulated.
ModuleRecord* FindInSearchOrder(Machine::State& state, const std::wstring& rawName) {
    const std::wstring name = WithDefaultExtension(rawName);
    if (ModuleRecord* loaded = FindByName(state, name);
        loaded != nullptr && loaded->loadCount > 0) {
        return loaded;
    }
    const std::wstring& executable = state.executable->spec.path;
    const std::wstring directories[] = {
        executable.substr(0, executable.size() - FileNameOf(executable).size()),
        L"C:\\Windows\\System32\\", L"C:\\Windows\\"};
    for (const auto& directory : directories) {
        if (ModuleRecord* found = FindByName(state, directory + name); found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

// The loaded module behind an HMODULE; NULL is the executable.
ModuleRecord* FindLoaded(Machine::State& state, HMODULE module) {
    if (module == nullptr) {
        return state.executable.get();
    }
    auto* record = reinterpret_cast<ModuleRecord*>(module);
    const bool known =
        record == state.executable.get() ||
        std::any_of(state.libraries.begin(), state.libraries.end(),
                    [record](const auto& library) { return library.get() == record; });
    return known && record->loadCount > 0 ? record : nullptr;
}

HMODULE HandleOf(ModuleRecord* record) {
    return reinterpret_cast<HMODULE>(record);
}

}  // namespace

void Machine::SetExecutablePath(const std::wstring& path) {
    auto lock = state_->Locked();
    state_->executable->spec.path = path;
}

std::wstring Machine::ExecutablePath() const {
    auto lock = state_->Locked();
    return state_->executable->spec.path;
}

void Machine::AddModule(const ModuleSpec& spec) {
    auto record = std::make_unique<ModuleRecord>();
    record->spec = spec;
    record->loadCount = spec.loaded ? 1 : 0;
    auto lock = state_->Locked();
    state_->libraries.push_back(std::move(record));
}

int Machine::ModuleLoadCount(const std::wstring& fileName) const {
    auto lock = state_->Locked();
    const ModuleRecord* record = FindByName(*state_, fileName);
    return record == nullptr ? 0 : record->loadCount;
}

}  // namespace winsim

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetModuleHandleW")) {
        return nullptr;
    }
    auto& state = machine.state();
    auto lock = state.Locked();
    winsim::ModuleRecord* record =
        lpModuleName == nullptr ? state.executable.get() : winsim::FindByName(state, lpModuleName);
    if (record == nullptr || record->loadCount == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return winsim::HandleOf(record);
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetModuleFileNameW")) {
        return 0;
    }
    auto& state = machine.state();
    auto lock = state.Locked();
    const winsim::ModuleRecord* record = winsim::FindLoaded(state, hModule);
    if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::wstring& path = record->spec.path;
    if (path.size() < nSize) {
        std::copy(path.begin(), path.end(), lpFilename);
        lpFilename[path.size()] = L'\0';
        return static_cast<DWORD>(path.size());
    }
    // Too small: as much as fits with the terminator, and the buffer's size.
    if (nSize > 0) {
        std::copy_n(path.begin(), nSize - 1, lpFilename);
        lpFilename[nSize - 1] = L'\0';
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "LoadLibraryW")) {
        return nullptr;
    }
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The name as asked, so that tests see whether a full path was given.
    machine.Record("module", "LoadLibraryW " + winsim::Narrow(lpLibFileName));
    auto& state = machine.state();
    auto lock = state.Locked();
    const std::wstring name = lpLibFileName;
    winsim::ModuleRecord* record = name.find_first_of(L"\\/") == std::wstring::npos
                                       ? winsim::FindInSearchOrder(state, name)
                                       : winsim::FindByName(state, name);
    if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++record->loadCount;
    return winsim::HandleOf(record);
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetProcAddress")) {
        return nullptr;
    }
    auto& state = machine.state();
    auto lock = state.Locked();
    const winsim::ModuleRecord* record = winsim::FindLoaded(state, hModule);
    if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Values below 64K are ordinals, which simulated modules do not have.
    constexpr uintptr_t kOrdinalLimit = 0x10000;
    const bool byName = reinterpret_cast<uintptr_t>(lpProcName) >= kOrdinalLimit;
    const auto found = byName ? record->spec.exports.find(lpProcName) : record->spec.exports.end();
    if (found == record->spec.exports.end() || found->second == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(found->second);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "FreeLibrary")) {
        return FALSE;
    }
    auto& state = machine.state();
    auto lock = state.Locked();
    winsim::ModuleRecord* record =
        hLibModule == nullptr ? nullptr : winsim::FindLoaded(state, hLibModule);
    if (record == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    // The executable stays loaded for the life of the process.
    if (record != state.executable.get()) {
        --record->loadCount;
    }
    machine.Record("module",
                   "FreeLibrary " + winsim::Narrow(winsim::FileNameOf(record->spec.path)));
    return TRUE;
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    auto& machine = winsim::Current();
    if (phModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    if (winsim::FailsNow(machine, "GetModuleHandleExW")) {
        return FALSE;
    }
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
        *phModule = GetModuleHandleW(nullptr);
        return *phModule != nullptr ? TRUE : FALSE;
    }
    HMODULE module = GetModuleHandleW(lpModuleName);
    if (module == nullptr) {
        return FALSE;
    }
    if ((dwFlags &
         (GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN)) == 0) {
        auto& state = machine.state();
        auto lock = state.Locked();
        if (winsim::ModuleRecord* record = winsim::FindLoaded(state, module)) {
            if (record != state.executable.get()) {
                ++record->loadCount;
            }
        }
    }
    *phModule = module;
    return TRUE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD /*dwExitCode*/) {
    FreeLibrary(hLibModule);
}
