// The platform's display configuration as the DPI restore reads it: the first
// active path, and the scaling its current step shows.
#include "display/DisplayConfigQuery.h"

#include "support/SetDpiProgram.h"
#include "support/SimTest.h"

#include <winsim/SimDisplay.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();

const std::vector<std::string> kLogKinds{"log", "log.RoDuzoZezava"};

winsim::DisplayPath Path(DWORD adapterLow, bool active, winsim::ScaleSteps steps = {0, 0, 3}) {
    return {LUID{adapterLow, 0}, 1, 101, active, steps};
}

using DisplayConfigQueryTest = SimTest;

TEST_F(DisplayConfigQueryTest, ScaleIsReadFromTheTableAtTheCurrentStepWithoutALine) {
    const auto scaleAt = [this](winsim::ScaleSteps steps) {
        const winsim::DisplayPath display = Path(0x2000, true, steps);
        winsim::SimDisplay(machine()).SetPaths({display});
        return GetCurrentDpiScale(display.adapterId, display.sourceId);
    };
    // Twelve steps, four of them below the recommended one.
    for (size_t step = 0; step < simtest::kShownPercents.size(); ++step) {
        EXPECT_EQ(scaleAt({-4, static_cast<int32_t>(step) - 4, 7}), simtest::kShownPercents[step]);
    }
    EXPECT_EQ(scaleAt({0, 0, 0}), 100u) << "one step";
    EXPECT_EQ(scaleAt({2, 0, 1}), 0u) << "lowest above highest";
    EXPECT_EQ(scaleAt({-5, 0, 7}), 0u) << "thirteen steps";
    // The step count wraps to 0 and the index lands just past the table's end.
    EXPECT_EQ(scaleAt({kLowest, kLowest + 12, kHighest}), 0u) << "wrapped count";
    machine().Fail("DisplayConfigGetDeviceInfo", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(scaleAt({0, 0, 3}), 0u) << "rejected query";
    EXPECT_TRUE(machine().JournalLines(kLogKinds).empty());
}

TEST_F(DisplayConfigQueryTest, DeviceWithoutAnActivePathFailsLoggingOnlyRejectedCalls) {
    LUID adapterId{};
    uint32_t sourceId = 0;
    winsim::SimDisplay display(machine());
    display.SetPaths({Path(0x20, true), Path(0x30, true)});
    machine().Fail("GetDisplayConfigBufferSizes", 0x80070005u);
    EXPECT_FALSE(GetDpiDevInfo(adapterId, sourceId));
    machine().Fail("QueryDisplayConfig", ERROR_INSUFFICIENT_BUFFER);
    EXPECT_FALSE(GetDpiDevInfo(adapterId, sourceId));
    // Sized for paths that are gone by the query: no line.
    display.SetPaths({Path(0x20, false)});
    display.SetBufferSizeSlack(1, 2);
    EXPECT_FALSE(GetDpiDevInfo(adapterId, sourceId));

    const std::string sizeFailed = "4 err get buffer size -2147024891";
    const std::string queryFailed = "4 err query display config 122, numPaths:2,numModes:4";
    EXPECT_EQ(machine().JournalLines(kLogKinds),
              (std::vector<std::string>{
                  "log.RoDuzoZezava: " + sizeFailed, "log: " + sizeFailed + "(GetDpiDevInfo)",
                  "log.RoDuzoZezava: " + queryFailed, "log: " + queryFailed + "(GetDpiDevInfo)"}));
}

}  // namespace
