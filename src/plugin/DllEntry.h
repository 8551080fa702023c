// The library entry point, declared for the code that calls it outside the
// system loader (native tests).
#pragma once

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
