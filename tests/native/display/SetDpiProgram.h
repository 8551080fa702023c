// A stand-in for the helper program's "setdpi" command on the simulated machine.
#pragma once

#include <winsim/SimProcesses.h>

namespace displaytest {

// Started as "NxReVadiru.exe setdpi <percent> 0", it moves the first active
// display's current step to the one that shows <percent> (the plug-in's scale
// table, counted from the display's lowest step) and ends at once. Any other
// command line, or a percentage that display cannot show, changes nothing.
winsim::Program SetDpiProgram();

}  // namespace displaytest
