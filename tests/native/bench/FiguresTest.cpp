// The summaries the measurement prints: median, 95th percentile by nearest
// rank, maximum, and how each figure is written.
#include "Figures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// 1 ms, 2 ms, ... `count` ms, handed over in reverse order.
std::vector<Duration> Descending(int count) {
    std::vector<Duration> samples;
    for (int ms = count; ms >= 1; --ms) {
        samples.push_back(milliseconds(ms));
    }
    return samples;
}

struct SummaryCase {
    int count;
    Duration median;
    Duration p95;
};

class SummariseTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SummariseTest, MedianPercentileAndMaximumOfUnsortedSamples) {
    const SummaryCase expected = GetParam();
    const Summary summary = Summarise(Descending(expected.count));
    EXPECT_EQ(summary.count, static_cast<size_t>(expected.count));
    EXPECT_EQ(summary.median, expected.median);
    EXPECT_EQ(summary.p95, expected.p95);
    EXPECT_EQ(summary.max, milliseconds(expected.count));
}

INSTANTIATE_TEST_SUITE_P(Counts, SummariseTest,
                         ::testing::Values(SummaryCase{1, milliseconds(1), milliseconds(1)},
                                           // Even counts take the mean of the middle two.
                                           SummaryCase{2, microseconds(1500), milliseconds(2)},
                                           SummaryCase{3, milliseconds(2), milliseconds(3)},
                                           // Nearest rank: the 19th of 20, the 48th of 50.
                                           SummaryCase{20, microseconds(10500), milliseconds(19)},
                                           SummaryCase{50, microseconds(25500), milliseconds(48)}),
                         [](const auto& info) { return "n" + std::to_string(info.param.count); });

TEST(DescribeTest, EachFigureInItsOwnUnit) {
    Summary summary;
    summary.median = microseconds(903);
    summary.p95 = microseconds(20536);
    summary.max = milliseconds(270);
    summary.count = 20;
    EXPECT_EQ(Describe(summary), "median 903 us, p95 20.5 ms, max 270 ms (n=20)");
    summary.median = std::chrono::nanoseconds(4140);
    EXPECT_EQ(Describe(summary), "median 4.14 us, p95 20.5 ms, max 270 ms (n=20)");
}

TEST(DescribeTest, NothingMeasured) {
    EXPECT_EQ(Describe(Summarise({})), "no samples");
}

TEST(MillisecondsTest, ThreeDecimals) {
    EXPECT_EQ(Milliseconds(std::chrono::nanoseconds(0)), "0.000 ms");
    EXPECT_EQ(Milliseconds(microseconds(537)), "0.537 ms");
    EXPECT_EQ(Milliseconds(milliseconds(1083)), "1083.000 ms");
}

}  // namespace
