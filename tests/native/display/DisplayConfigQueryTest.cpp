#include "display/DisplayConfigQuery.h"

#include "native/display/SetDpiProgram.h"
#include "support/SimTest.h"

#include <winsim/SimDisplay.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();

const std::vector<std::string> kLogKinds{"log", "log.RoDuzoZezava"};

winsim::DisplayPath Path(DWORD adapterLow, uint32_t sourceId, bool active,
                         winsim::ScaleSteps steps = {0, 0, 3}) {
    winsim::DisplayPath path;
    path.adapterId = LUID{adapterLow, 0};
    path.sourceId = sourceId;
    path.targetId = sourceId + 100;
    path.active = active;
    path.steps = steps;
    return path;
}

struct ScaleCase {
    const char* name;
    winsim::ScaleSteps steps;
    uint32_t percent;
};

void PrintTo(const ScaleCase& value, std::ostream* out) {
    *out << value.name;
}

class CurrentDpiScaleTest : public SimTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(CurrentDpiScaleTest, ReadsTheTableAtTheClampedStepWithoutLogging) {
    const winsim::DisplayPath display = Path(0x2000, 1, true, GetParam().steps);
    winsim::SimDisplay(machine()).SetPaths({display});

    EXPECT_EQ(GetCurrentDpiScale(display.adapterId, display.sourceId), GetParam().percent);
    EXPECT_TRUE(machine().JournalLines(kLogKinds).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CurrentDpiScaleTest,
    ::testing::Values(ScaleCase{"RecommendedShown", {-2, 0, 4}, 150},
                      ScaleCase{"CountedFromTheLowest", {0, 1, 3}, 125},
                      ScaleCase{"AboveTheHighestReadAsHighest", {-2, 6, 4}, 250},
                      ScaleCase{"BelowTheLowestReadAsLowest", {-2, -5, 4}, 100},
                      ScaleCase{"ThirteenSteps", {-5, 0, 7}, 0},
                      ScaleCase{"TwelveStepsAtTheTop", {-4, 7, 7}, 500},
                      ScaleCase{"LowestAboveHighest", {2, 0, 1}, 0},
                      ScaleCase{"OneStep", {0, 0, 0}, 100},
                      ScaleCase{
                          "WrappedCountIndexAtTheTableEnd", {kLowest, kLowest + 12, kHighest}, 0},
                      ScaleCase{"WidestAnswerWhoseCountWrapsToZero", {kLowest, 0, kHighest}, 0},
                      ScaleCase{"LowestFarBelow", {kLowest, kLowest, 0}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

using ScaleQueryTest = SimTest;

TEST_F(ScaleQueryTest, EveryStepOfTwelveReadsAsThePlatformShowsIt) {
    for (int32_t step = 0; step < static_cast<int32_t>(displaytest::kShownPercents.size());
         ++step) {
        const winsim::DisplayPath display = Path(0x2000, 1, true, {0, step, 11});
        winsim::SimDisplay(machine()).SetPaths({display});
        EXPECT_EQ(GetCurrentDpiScale(display.adapterId, display.sourceId),
                  displaytest::kShownPercents[static_cast<size_t>(step)]);
    }
}

TEST_F(ScaleQueryTest, RejectedQueryGivesZeroWithoutALine) {
    const winsim::DisplayPath display = winsim::DefaultDisplayPath();
    machine().Fail("DisplayConfigGetDeviceInfo", ERROR_INVALID_PARAMETER);

    EXPECT_EQ(GetCurrentDpiScale(display.adapterId, display.sourceId), 0u);
    EXPECT_TRUE(machine().JournalLines(kLogKinds).empty());
}

class DpiDevInfoTest : public SimTest {
protected:
    // Values the outputs hold before the call, to see whether it wrote them.
    LUID adapterId{0xAAAA, 7};
    uint32_t sourceId = 77;

    void ExpectOutputsUntouched() const {
        EXPECT_EQ(adapterId.LowPart, 0xAAAAu);
        EXPECT_EQ(adapterId.HighPart, 7);
        EXPECT_EQ(sourceId, 77u);
    }
};

TEST_F(DpiDevInfoTest, FirstActivePathOfSeveralIsUsed) {
    winsim::SimDisplay(machine()).SetPaths(
        {Path(0x10, 4, false), Path(0x20, 2, true), Path(0x30, 3, true)});

    ASSERT_TRUE(GetDpiDevInfo(adapterId, sourceId));
    EXPECT_EQ(adapterId.LowPart, 0x20u);
    EXPECT_EQ(adapterId.HighPart, 0);
    EXPECT_EQ(sourceId, 2u);
    EXPECT_TRUE(machine().JournalLines(kLogKinds).empty());
}

TEST_F(DpiDevInfoTest, QuerySucceedingWithoutPathsGivesFalseWithoutALine) {
    winsim::SimDisplay display(machine());
    display.SetPaths({Path(0x20, 2, false)});
    display.SetBufferSizeSlack(1, 2);

    EXPECT_FALSE(GetDpiDevInfo(adapterId, sourceId));
    ExpectOutputsUntouched();
    EXPECT_TRUE(machine().JournalLines(kLogKinds).empty());
}

struct FailureCase {
    const char* name;
    const char* function;
    uint32_t error;
    std::vector<winsim::DisplayPath> paths;
    std::string text;  // as the named logger gets it
};

void PrintTo(const FailureCase& value, std::ostream* out) {
    *out << value.name;
}

class DpiDevInfoFailureTest : public DpiDevInfoTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DpiDevInfoFailureTest, LogsToBothLoggersAndLeavesOutputs) {
    winsim::SimDisplay(machine()).SetPaths(GetParam().paths);
    if (GetParam().function[0] != '\0') {
        machine().Fail(GetParam().function, GetParam().error);
    }

    EXPECT_FALSE(GetDpiDevInfo(adapterId, sourceId));
    ExpectOutputsUntouched();
    EXPECT_EQ(machine().JournalLines(kLogKinds),
              (std::vector<std::string>{"log.RoDuzoZezava: 4 " + GetParam().text,
                                        "log: 4 " + GetParam().text + "(GetDpiDevInfo)"}));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DpiDevInfoFailureTest,
    ::testing::Values(
        FailureCase{"BufferSizesWithTheCodeAsSigned",
                    "GetDisplayConfigBufferSizes",
                    0x80070005u,
                    {winsim::DefaultDisplayPath()},
                    "err get buffer size -2147024891"},
        FailureCase{"QueryWithTheCountsAsLeft",
                    "QueryDisplayConfig",
                    ERROR_INSUFFICIENT_BUFFER,
                    {Path(0x20, 2, true), Path(0x30, 3, true)},
                    "err query display config 122, numPaths:2,numModes:4"},
        FailureCase{
            "NoDisplayAtAll", "", 0, {}, "err query display config 87, numPaths:0,numModes:0"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
