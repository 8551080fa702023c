// The display scaling in force, read from the platform's display configuration:
// the first active path's source and that source's scaling as a percentage.
#pragma once

#include "NxLogger.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

// Percentages of the scaling steps, indexed from the lowest available step.
inline constexpr std::array<uint32_t, 12> kDpiScaleTable{100, 125, 150, 175, 200, 225,
                                                         250, 300, 350, 400, 450, 500};

// Request type of the source scaling query; it lies outside the documented
// enumeration of request types.
inline constexpr int32_t kDpiScaleRequestType = -3;

// The source scaling query's request and answer. The answer's steps are
// counted from the recommended step, so the recommended step sits at table
// index |minScaleRel| and the current one at |minScaleRel| + curScaleRel.
struct DpiScalePacket {
    DISPLAYCONFIG_DEVICE_INFO_HEADER header;
    int32_t minScaleRel;
    int32_t curScaleRel;
    int32_t maxScaleRel;
};
// The platform reads and writes this packet by these offsets.
static_assert(sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER) == 20);
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, type) == 0);
static_assert(sizeof(DISPLAYCONFIG_DEVICE_INFO_TYPE) == 4);
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, size) == 4);
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, adapterId) == 8);
static_assert(offsetof(DISPLAYCONFIG_DEVICE_INFO_HEADER, id) == 16);
static_assert(offsetof(DpiScalePacket, header) == 0);
static_assert(offsetof(DpiScalePacket, minScaleRel) == 20);
static_assert(offsetof(DpiScalePacket, curScaleRel) == 24);
static_assert(offsetof(DpiScalePacket, maxScaleRel) == 28);
static_assert(sizeof(DpiScalePacket) == 32);

// The first active path's source. True when there is one; the outputs are
// written only then. Failures of the platform's calls are logged to both the
// singleton and the "RoDuzoZezava" logger.
bool GetDpiDevInfo(LUID& adapterId, uint32_t& sourceId);

// The source's current scaling in percent, or 0 when the platform does not
// tell it or reports more steps than the table has. Logs nothing.
uint32_t GetCurrentDpiScale(const LUID& adapterId, uint32_t sourceId);

// The named logger that receives the display configuration failures.
Logger& GetMirrorLogger();
