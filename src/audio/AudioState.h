// The PC's mute state as another program of the product records it in the
// console user's hive ("pcmute" under \SOFTWARE\Norvane\DeskSuite\setting).
#pragma once

#include <cstdint>

// The recorded state: 0 not muted, above 0 muted; -1 when the user's key or
// the value is missing, or nothing is recorded.
int32_t GetPCMuteState();

// Marks the record consumed (-1), creating the user's key when missing. False
// only when that key cannot be created.
bool SetPCMuteState();
