// How the windows of a segment are grouped into runs of one transfer each.

#include "obs/window_runs.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RunCase {
    const char* what;
    std::vector<int64_t> firstSamples;
    int32_t row;
    int64_t gap, capacity;
    int32_t endRow;
    int64_t firstSample, endSample;
};

// Windows of 10 samples throughout.
TEST(WindowRuns, GroupWindowsThatStartWithinReachOfTheStretchSoFar) {
    const RunCase cases[] = {
        {"overlapping", {0, 5, 12, 20}, 0, 0, 100, 4, 0, 30},
        {"touching", {0, 10, 20}, 0, 0, 100, 3, 0, 30},
        {"a gap ends a write run", {0, 11}, 0, 0, 100, 1, 0, 10},
        {"a gap within reach joins a read run", {0, 20, 45}, 0, 10, 100, 2, 0, 30},
        {"a window inside the stretch", {0, 2, 3}, 0, 0, 100, 3, 0, 13},
        {"a window starting earlier ends the run", {20, 15, 30}, 0, 0, 100, 1, 20, 30},
        {"an unmoved row ends the run", {0, 5, kNoWindow, 10}, 0, 0, 100, 2, 0, 15},
        {"the capacity ends the run", {0, 10, 20, 30}, 0, 0, 30, 3, 0, 30},
        {"a run from a later row", {kNoWindow, 40, 45}, 1, 0, 100, 3, 40, 55},
        {"the last row alone", {0, 5}, 1, 0, 100, 2, 5, 15},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.what);
        const WindowRun run =
            windowRunFrom(c.firstSamples.data(), static_cast<int32_t>(c.firstSamples.size()), 10,
                          c.row, c.gap, c.capacity);
        EXPECT_EQ(run.firstRow, c.row);
        EXPECT_EQ(run.endRow, c.endRow);
        EXPECT_EQ(run.firstSample, c.firstSample);
        EXPECT_EQ(run.endSample, c.endSample);
    }
}

}  // namespace
