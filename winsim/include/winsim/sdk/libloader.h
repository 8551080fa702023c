// Simulated Windows SDK: modules of the process (the executable and the
// libraries a test describes with winsim::ModuleSpec).
#pragma once

#include <winsim/sdk/base.h>

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// Natively all code lives in the test executable, so an address always
// belongs to the executable, which never unloads.
BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
// Releases the module; unlike Windows it returns, and the calling thread
// procedure must return right after (a simulated thread is a real std::thread).
void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
