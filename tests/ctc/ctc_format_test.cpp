#include "ctc/ctc_format.h"

#include <gtest/gtest.h>

using namespace ctc;

namespace {

// Each epoched ordering names its loops from slowest to fastest; walking
// them in that order must visit consecutive indices from the block's start,
// which lies beyond 32 bits.
TEST(CtcElementIndex, EpochedOrderingsFollowTheirLoopOrder) {
    const uint64_t channels = 3, trials = 4, length = 5, start = 0x123456789ull;
    const CtcBlockShape block{start, trials, length};
    struct Loops {
        uint32_t ordering;
        int slowest, middle, fastest;  // 0 trial, 1 channel, 2 sample
    };
    const Loops orderings[] = {{3, 0, 1, 2}, {4, 0, 2, 1}, {5, 1, 2, 0}, {6, 2, 1, 0}};
    const uint64_t extent[3] = {trials, channels, length};
    for (const Loops& loops : orderings) {
        uint64_t expected = start;
        uint64_t position[3];
        for (position[loops.slowest] = 0; position[loops.slowest] < extent[loops.slowest];
             ++position[loops.slowest]) {
            for (position[loops.middle] = 0; position[loops.middle] < extent[loops.middle];
                 ++position[loops.middle]) {
                for (position[loops.fastest] = 0; position[loops.fastest] < extent[loops.fastest];
                     ++position[loops.fastest]) {
                    ASSERT_EQ(ctcElementIndex(loops.ordering, channels, 0, block, position[0],
                                              position[1], position[2]),
                              expected++)
                        << "ordering " << loops.ordering;
                }
            }
        }
    }
}

TEST(CtcBytePosition, AddsHeaderAndScalesBySizeOrReportsOverflow) {
    uint64_t position = 0;
    ASSERT_TRUE(elementBytePosition(52, 0x100000000ull, 4, position));
    EXPECT_EQ(position, 52 + 0x400000000ull);
    EXPECT_FALSE(elementBytePosition(0, UINT64_MAX / 2, 4, position));
    EXPECT_FALSE(elementBytePosition(UINT64_MAX, 1, 1, position));
}

}  // namespace
