// A stand-in for the helper program's "setdpi" command on the simulated machine.
#pragma once

#include <winsim/SimProcesses.h>

#include <array>
#include <cstdint>

namespace simtest {

// The percentages the platform's scaling steps show, from the lowest step. Kept
// here, not taken from the plug-in, so that a typo in the plug-in's table shows.
inline constexpr std::array<uint32_t, 12> kShownPercents{100, 125, 150, 175, 200, 225,
                                                         250, 300, 350, 400, 450, 500};

// Moves the first active display's current step to the one that shows
// `percent` (kShownPercents, counted from the display's lowest step); a
// percentage that display cannot show changes nothing.
void ShowPercent(winsim::Machine& machine, uint32_t percent);

// Started as "NxReVadiru.exe setdpi <percent> 0", it takes `startupMs` of
// virtual time to start (a test then moves the clock on), shows <percent>
// (ShowPercent) and ends. Any other command line changes nothing.
winsim::Program SetDpiProgram(uint64_t startupMs = 0);

}  // namespace simtest
