#include "ProcessExit.h"

#include <atomic>

namespace {

std::atomic<bool> exiting{false};

}  // namespace

void NoteProcessExit() {
    exiting = true;
}

bool ProcessIsExiting() {
    return exiting;
}
