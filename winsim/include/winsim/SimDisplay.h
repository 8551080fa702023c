// The simulated machine's display configuration, as tests see it.
//
// The machine has display paths in a fixed order, each from a source (adapter
// LUID and source id) to a target, active or not. A new machine has one active
// path, DefaultDisplayPath(): a display at its recommended scaling of 100
// percent with steps 0 to +3 available.
//
// What the Win32 functions answer:
//   GetDisplayConfigBufferSizes  QDC_ONLY_ACTIVE_PATHS: the active paths and two
//                                modes (target, then source) for each;
//                                QDC_ALL_PATHS: every path, the same modes. Plus
//                                the slack set below, since Windows may report
//                                more than it then fills.
//   QueryDisplayConfig           the paths in order, modes as above, with the
//                                counts written back; inactive paths (only with
//                                QDC_ALL_PATHS) have no modes.
//   DisplayConfigGetDeviceInfo   the source scaling request (type -3, 32 bytes:
//                                header, then the lowest, current and highest
//                                step counted from the recommended one) for a
//                                source that some path uses.
// Each function takes its fault by its own name (Machine::Fail(
// "DisplayConfigGetDeviceInfo", ERROR_INVALID_PARAMETER)) and returns that
// code. Nothing here writes to the journal.
#pragma once

#include <winsim/Machine.h>
#include <winsim/sdk/display.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace winsim {

// A source's scaling steps as the platform reports them, counted from the
// recommended step: `min` at or below 0, `max` at or above 0 on a sane display.
struct ScaleSteps {
    int32_t min = 0;
    int32_t cur = 0;
    int32_t max = 0;
};

struct DisplayPath {
    LUID adapterId{};
    uint32_t sourceId = 0;
    uint32_t targetId = 0;
    bool active = true;
    ScaleSteps steps;  // the scaling of this path's source
};

DisplayPath DefaultDisplayPath();

class SimDisplay {
public:
    explicit SimDisplay(Machine& machine = Current());

    // Replaces every path; an empty list leaves the machine without a display.
    void SetPaths(const std::vector<DisplayPath>& paths);
    std::vector<DisplayPath> Paths() const;

    // Sets the current step of the source (on every path that shows it). False
    // when no path uses that source.
    bool SetCurrentStep(const LUID& adapterId, uint32_t sourceId, int32_t step);
    // The scaling of the source; empty when no path uses it.
    std::optional<ScaleSteps> Steps(const LUID& adapterId, uint32_t sourceId) const;

    // Extra paths and modes that GetDisplayConfigBufferSizes adds to its counts.
    void SetBufferSizeSlack(uint32_t paths, uint32_t modes);

private:
    Machine& machine_;
};

}  // namespace winsim
