#include "display/DisplayConfigQuery.h"
#include "plugin/Log.h"

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr wchar_t kGetDpiDevInfo[] = L"GetDpiDevInfo";

// The mirror logger takes the bare text; the singleton's line names the operation.
void LogDisplayConfigFailure(const std::wstring& text) {
    GetMirrorLogger().Log(LOG_LEVEL_ERROR, text);
    LogError(kGetDpiDevInfo, text);
}

// |value| without overflow for INT32_MIN.
uint32_t Magnitude(int32_t value) {
    return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

}  // namespace

Logger& GetMirrorLogger() {
    static Logger logger(L"RoDuzoZezava");
    return logger;
}

bool GetDpiDevInfo(LUID& adapterId, uint32_t& sourceId) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    const LONG sizeResult =
        GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &pathCount, &modeCount);
    if (sizeResult != ERROR_SUCCESS) {
        std::wostringstream text;
        text << L"err get buffer size " << sizeResult;
        LogDisplayConfigFailure(text.str());
        return false;
    }
    // Value-initialised, so zero-filled; never null, even for a count of 0.
    const auto paths = std::make_unique<DISPLAYCONFIG_PATH_INFO[]>(pathCount);
    const auto modes = std::make_unique<DISPLAYCONFIG_MODE_INFO[]>(modeCount);
    const LONG queryResult = QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &pathCount, paths.get(),
                                                &modeCount, modes.get(), nullptr);
    if (queryResult != ERROR_SUCCESS) {
        std::wostringstream text;
        text << L"err query display config " << queryResult << L", numPaths:" << pathCount
             << L",numModes:" << modeCount;
        LogDisplayConfigFailure(text.str());
        return false;
    }
    // The platform may size the arrays for paths that are gone by the query.
    if (pathCount == 0) {
        return false;
    }
    adapterId = paths[0].sourceInfo.adapterId;
    sourceId = paths[0].sourceInfo.id;
    return true;
}

uint32_t GetCurrentDpiScale(const LUID& adapterId, uint32_t sourceId) {
    DpiScalePacket packet{};
    // The type is outside the enumeration, so its bits are copied rather than converted.
    std::memcpy(&packet.header.type, &kDpiScaleRequestType, sizeof(kDpiScaleRequestType));
    packet.header.size = sizeof(packet);
    packet.header.adapterId = adapterId;
    packet.header.id = sourceId;
    if (DisplayConfigGetDeviceInfo(&packet.header) != ERROR_SUCCESS) {
        return 0;
    }
    // A lowest step above the highest has no meaning; nothing can be told from it.
    if (packet.minScaleRel > packet.maxScaleRel) {
        return 0;
    }
    int32_t current = packet.curScaleRel;
    if (current < packet.minScaleRel) {
        current = packet.minScaleRel;
    } else if (current > packet.maxScaleRel) {
        current = packet.maxScaleRel;
    }
    const uint32_t belowRecommended = Magnitude(packet.minScaleRel);
    const uint32_t stepCount = belowRecommended + static_cast<uint32_t>(packet.maxScaleRel) + 1u;
    if (stepCount > kDpiScaleTable.size()) {
        return 0;
    }
    // The count wraps to 0 for the widest answer; the index is checked on its own.
    const uint32_t index = belowRecommended + static_cast<uint32_t>(current);
    if (index >= kDpiScaleTable.size()) {
        return 0;
    }
    return kDpiScaleTable[index];
}
