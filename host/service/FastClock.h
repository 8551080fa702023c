// Development only: makes the timed waits of a loaded plug-in library pass
// faster, so that a scenario whose waits last minutes on a user's PC (the
// center launcher's) can run end to end in seconds. The library itself is not
// changed: its imports of Sleep and WaitForSingleObject are pointed at
// versions in this program that divide every finite timeout by the speed.
#pragma once

#include <windows.h>

// The speed holds for every library sped up in this process. False when the
// library imports neither function or its import table cannot be written.
bool SpeedUpTimedWaits(HMODULE library, DWORD speed);
