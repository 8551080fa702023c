// The display configuration shared by the Win32 functions (Display.cpp) and the
// test-facing SimDisplay (DisplayState.cpp).
#pragma once

#include <winsim/SimDisplay.h>

#include <mutex>
#include <vector>

namespace winsim::display {

bool SameSource(const DisplayPath& path, const LUID& adapterId, uint32_t sourceId);

// The machine extension. Monitor threads and the test's own thread reach it at
// once, so every member is guarded by `mutex`.
struct State {
    State();

    mutable std::mutex mutex;
    std::vector<DisplayPath> paths;
    uint32_t pathSlack = 0;
    uint32_t modeSlack = 0;
};

}  // namespace winsim::display
