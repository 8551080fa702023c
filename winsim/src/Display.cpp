// Win32 display configuration functions over the machine's display paths.
#include "DisplayState.h"

#include <windows.h>

#include <cstring>

using winsim::DisplayPath;
using winsim::display::State;

namespace {

// Every active path has a target mode and a source mode.
constexpr UINT32 kModesPerActivePath = 2;

// The undocumented source scaling request: the header, then the lowest,
// current and highest step counted from the recommended one.
constexpr int32_t kSourceScaleRequest = -3;
struct SourceScalePacket {
    DISPLAYCONFIG_DEVICE_INFO_HEADER header;
    INT32 minScaleRel;
    INT32 curScaleRel;
    INT32 maxScaleRel;
};
static_assert(sizeof(SourceScalePacket) == 32);

bool KnownQueryFlags(UINT32 flags) {
    return flags == QDC_ALL_PATHS || flags == QDC_ONLY_ACTIVE_PATHS;
}

bool Listed(const DisplayPath& path, UINT32 flags) {
    return path.active || flags == QDC_ALL_PATHS;
}

struct Counts {
    UINT32 paths = 0;
    UINT32 modes = 0;
};

// Requires the state's mutex.
Counts Needed(const State& state, UINT32 flags) {
    Counts counts;
    for (const DisplayPath& path : state.paths) {
        if (Listed(path, flags)) {
            ++counts.paths;
        }
        if (path.active) {
            counts.modes += kModesPerActivePath;
        }
    }
    return counts;
}

DISPLAYCONFIG_MODE_INFO TargetMode(const DisplayPath& path) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
    mode.id = path.targetId;
    mode.adapterId = path.adapterId;
    return mode;
}

DISPLAYCONFIG_MODE_INFO SourceMode(const DisplayPath& path) {
    DISPLAYCONFIG_MODE_INFO mode{};
    mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
    mode.id = path.sourceId;
    mode.adapterId = path.adapterId;
    return mode;
}

DISPLAYCONFIG_PATH_INFO PathRecord(const DisplayPath& path, UINT32 targetModeIndex,
                                   UINT32 sourceModeIndex) {
    DISPLAYCONFIG_PATH_INFO record{};
    record.sourceInfo.adapterId = path.adapterId;
    record.sourceInfo.id = path.sourceId;
    record.targetInfo.adapterId = path.adapterId;
    record.targetInfo.id = path.targetId;
    record.targetInfo.targetAvailable = TRUE;
    if (path.active) {
        record.sourceInfo.modeInfoIdx = sourceModeIndex;
        record.sourceInfo.statusFlags = DISPLAYCONFIG_SOURCE_IN_USE;
        record.targetInfo.modeInfoIdx = targetModeIndex;
        record.targetInfo.statusFlags = DISPLAYCONFIG_TARGET_IN_USE;
        record.flags = DISPLAYCONFIG_PATH_ACTIVE;
    } else {
        record.sourceInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
        record.targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    }
    return record;
}

}  // namespace

LONG WINAPI GetDisplayConfigBufferSizes(UINT32 flags, UINT32* numPathArrayElements,
                                        UINT32* numModeInfoArrayElements) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("GetDisplayConfigBufferSizes", fault)) {
        return static_cast<LONG>(fault);
    }
    if (!numPathArrayElements || !numModeInfoArrayElements || !KnownQueryFlags(flags)) {
        return ERROR_INVALID_PARAMETER;
    }
    auto& state = machine.Extension<State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    const Counts needed = Needed(state, flags);
    *numPathArrayElements = needed.paths + state.pathSlack;
    *numModeInfoArrayElements = needed.modes + state.modeSlack;
    return ERROR_SUCCESS;
}

LONG WINAPI QueryDisplayConfig(UINT32 flags, UINT32* numPathArrayElements,
                               DISPLAYCONFIG_PATH_INFO* pathArray, UINT32* numModeInfoArrayElements,
                               DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                               DISPLAYCONFIG_TOPOLOGY_ID* currentTopologyId) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("QueryDisplayConfig", fault)) {
        return static_cast<LONG>(fault);
    }
    if (!numPathArrayElements || !numModeInfoArrayElements || !KnownQueryFlags(flags) ||
        currentTopologyId != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*numPathArrayElements == 0 || *numModeInfoArrayElements == 0 || !pathArray ||
        !modeInfoArray) {
        return ERROR_INVALID_PARAMETER;
    }
    auto& state = machine.Extension<State>();
    std::lock_guard<std::mutex> lock(state.mutex);
    const Counts needed = Needed(state, flags);
    if (needed.paths > *numPathArrayElements || needed.modes > *numModeInfoArrayElements) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    Counts filled;
    for (const DisplayPath& path : state.paths) {
        if (!Listed(path, flags)) {
            continue;
        }
        const UINT32 targetModeIndex = filled.modes;
        const UINT32 sourceModeIndex = filled.modes + 1;
        if (path.active) {
            modeInfoArray[filled.modes++] = TargetMode(path);
            modeInfoArray[filled.modes++] = SourceMode(path);
        }
        pathArray[filled.paths++] = PathRecord(path, targetModeIndex, sourceModeIndex);
    }
    *numPathArrayElements = filled.paths;
    *numModeInfoArrayElements = filled.modes;
    return ERROR_SUCCESS;
}

LONG WINAPI DisplayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* requestPacket) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("DisplayConfigGetDeviceInfo", fault)) {
        return static_cast<LONG>(fault);
    }
    if (!requestPacket || requestPacket->size < sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER)) {
        return ERROR_GEN_FAILURE;
    }
    // The request type may lie outside the enumeration: read its raw bits.
    int32_t type = 0;
    std::memcpy(&type, &requestPacket->type, sizeof(type));
    if (type != kSourceScaleRequest || requestPacket->size != sizeof(SourceScalePacket)) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto steps =
        winsim::SimDisplay(machine).Steps(requestPacket->adapterId, requestPacket->id);
    if (!steps) {
        return ERROR_GEN_FAILURE;
    }
    // The caller's packet is its own type with this layout: write the answer by offset.
    auto* bytes = reinterpret_cast<unsigned char*>(requestPacket);
    std::memcpy(bytes + offsetof(SourceScalePacket, minScaleRel), &steps->min, sizeof(INT32));
    std::memcpy(bytes + offsetof(SourceScalePacket, curScaleRel), &steps->cur, sizeof(INT32));
    std::memcpy(bytes + offsetof(SourceScalePacket, maxScaleRel), &steps->max, sizeof(INT32));
    return ERROR_SUCCESS;
}
