#include "Faults.h"

#include <windows.h>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD WINAPI GetLastError() {
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

namespace winsim {

bool FailsNow(Machine& machine, const char* function) {
    uint32_t error = 0;
    if (!machine.TakeFault(function, error)) {
        return false;
    }
    SetLastError(error);
    return true;
}

}  // namespace winsim
