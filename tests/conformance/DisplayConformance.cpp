// Display configuration: what the simulated machine must answer as Windows
// does for the calls that read the scaling in force.
//
// Under Wine (8.0, a prefix without a real display) there is one virtual
// display: one active path, a target and a source mode. Where Wine differs
// from Windows, the case is left out here:
// - QueryDisplayConfig with a null path or mode array crashes inside Wine;
//   Windows answers ERROR_INVALID_PARAMETER.
// - Wine does not know the source scaling request (type -3) and answers it
//   with ERROR_INVALID_PARAMETER; Windows answers with the scaling steps.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct Sizes {
    UINT32 paths = 0;
    UINT32 modes = 0;
};

Sizes ActivePathSizes() {
    Sizes sizes;
    EXPECT_EQ(GetDisplayConfigBufferSizes(QDC_ONLY_ACTIVE_PATHS, &sizes.paths, &sizes.modes),
              ERROR_SUCCESS);
    return sizes;
}

// Larger arrays than needed: the counts filled come back, and each path
// points at its source mode.
TEST(DisplayConformance, QueryOfActivePathsWritesBackItsCountsAndLinksPathsToSourceModes) {
    const Sizes sizes = ActivePathSizes();
    Sizes counts{sizes.paths + 3, sizes.modes + 3};
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(counts.paths);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(counts.modes);

    ASSERT_EQ(QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &counts.paths, paths.data(), &counts.modes,
                                 modes.data(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(counts.paths, sizes.paths);
    EXPECT_EQ(counts.modes, sizes.modes);
    ASSERT_GE(counts.paths, 1u);
    const DISPLAYCONFIG_PATH_INFO& first = paths[0];
    EXPECT_NE(first.flags & DISPLAYCONFIG_PATH_ACTIVE, 0u);
    ASSERT_LT(first.sourceInfo.modeInfoIdx, counts.modes);
    const DISPLAYCONFIG_MODE_INFO& source = modes[first.sourceInfo.modeInfoIdx];
    EXPECT_EQ(source.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE);
    EXPECT_EQ(source.id, first.sourceInfo.id);
    EXPECT_EQ(source.adapterId.LowPart, first.sourceInfo.adapterId.LowPart);
    EXPECT_EQ(source.adapterId.HighPart, first.sourceInfo.adapterId.HighPart);
}

TEST(DisplayConformance, QueryWithTooFewModesIsInsufficientBufferAndKeepsTheCounts) {
    const Sizes sizes = ActivePathSizes();
    ASSERT_GE(sizes.modes, 2u);
    Sizes counts{sizes.paths, sizes.modes - 1};
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(counts.paths);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(counts.modes);

    EXPECT_EQ(QueryDisplayConfig(QDC_ONLY_ACTIVE_PATHS, &counts.paths, paths.data(), &counts.modes,
                                 modes.data(), nullptr),
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(counts.paths, sizes.paths);
    EXPECT_EQ(counts.modes, sizes.modes - 1);
}

}  // namespace
