// Lets a simulated machine's virtual time run on its own between the steps of
// a fuzz input, so that every input sees the same order of events.
#pragma once

#include <winsim/Machine.h>

namespace fuzzsupport {

enum class SettleUntil {
    // Every worker thread has ended or waits without a time limit (for a
    // process to end).
    Quiet,
    // Every worker thread has ended.
    NoThreads,
};

// Moves the clock to the next deadline whenever every worker thread waits and
// one of them waits with a time limit. False when the machine does not get
// there within a few seconds of real time: a hang.
bool Settle(winsim::Machine& machine, SettleUntil until);

}  // namespace fuzzsupport
