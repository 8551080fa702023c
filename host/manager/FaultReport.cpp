#include "FaultReport.h"

#include <windows.h>

#include <cstdio>

namespace {

// Runs on the faulting thread, possibly with a lock held or the heap broken:
// no allocation, no lock, one direct write.
LONG WINAPI ReportAndEnd(EXCEPTION_POINTERS* pointers) {
    char line[128];
    const int length =
        std::snprintf(line, sizeof line, "unhandled exception %08lx at %p on thread %lu\r\n",
                      static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode),
                      pointers->ExceptionRecord->ExceptionAddress,
                      static_cast<unsigned long>(GetCurrentThreadId()));
    DWORD written = 0;
    if (length > 0) {
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written,
                  nullptr);
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void ReportUnhandledFaults() {
    SetUnhandledExceptionFilter(&ReportAndEnd);
}
