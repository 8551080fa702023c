// The start of every simulated Win32 function that can fail.
#pragma once

#include <winsim/Machine.h>

namespace winsim {

// True when a fault injected for `function` (its Win32 name) fires now; the
// calling thread's last error is then set to the fault's error and the caller
// returns its failure value.
bool FailsNow(Machine& machine, const char* function);

}  // namespace winsim
