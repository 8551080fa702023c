// The test-facing view of the display configuration.
#include "DisplayState.h"

namespace winsim {

namespace display {

bool SameSource(const DisplayPath& path, const LUID& adapterId, uint32_t sourceId) {
    return path.adapterId.LowPart == adapterId.LowPart &&
           path.adapterId.HighPart == adapterId.HighPart && path.sourceId == sourceId;
}

State::State() : paths{DefaultDisplayPath()} {}

}  // namespace display

DisplayPath DefaultDisplayPath() {
    DisplayPath path;
    path.adapterId = LUID{0x1000, 0};
    path.steps = ScaleSteps{0, 0, 3};
    return path;
}

SimDisplay::SimDisplay(Machine& machine) : machine_(machine) {}

void SimDisplay::SetPaths(const std::vector<DisplayPath>& paths) {
    auto& state = machine_.Extension<display::State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.paths = paths;
}

std::vector<DisplayPath> SimDisplay::Paths() const {
    auto& state = machine_.Extension<display::State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.paths;
}

bool SimDisplay::SetCurrentStep(const LUID& adapterId, uint32_t sourceId, int32_t step) {
    auto& state = machine_.Extension<display::State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    bool found = false;
    for (DisplayPath& path : state.paths) {
        if (display::SameSource(path, adapterId, sourceId)) {
            path.steps.cur = step;
            found = true;
        }
    }
    return found;
}

std::optional<ScaleSteps> SimDisplay::Steps(const LUID& adapterId, uint32_t sourceId) const {
    auto& state = machine_.Extension<display::State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    for (const DisplayPath& path : state.paths) {
        if (display::SameSource(path, adapterId, sourceId)) {
            return path.steps;
        }
    }
    return std::nullopt;
}

void SimDisplay::SetBufferSizeSlack(uint32_t paths, uint32_t modes) {
    auto& state = machine_.Extension<display::State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.pathSlack = paths;
    state.modeSlack = modes;
}

}  // namespace winsim
