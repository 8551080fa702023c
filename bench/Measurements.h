// The four measurements; each prints its rows (Figures.h) and leaves no
// plug-in thread and no program of its own running. Each throws
// std::runtime_error when it cannot complete.
#pragma once

class MeasuredPc;

// From a watched process's end to the first step of the follow-up: the
// plug-in's monitor signalling the named event "NxReVadiru.exe", against
// polling watchdogs (100 ms and 1 s) watching the same process.
void MeasureEndToSignal(MeasuredPc& pc);

// How long each bus handler holds the bus client's thread.
void MeasureHandlers(MeasuredPc& pc);

// How long Start() holds the host's thread, with the helper running and absent.
void MeasureStart(MeasuredPc& pc);

// 200 start/stop/destroy cycles while the message center runs: time per
// cycle, peak threads (each cycle's watch waits for the center), threads and
// handles once the center has ended, and memory growth per cycle.
void MeasureSoak(MeasuredPc& pc);

// CPU time and wake-ups of the plug-in's threads over idle seconds with all
// its monitors waiting.
void MeasureIdle(MeasuredPc& pc);
