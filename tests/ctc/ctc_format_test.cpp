#include "ctc/ctc_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "ctc/sample_codec.h"

using namespace ctc;

namespace {

TEST(CtcElementIndex, ContinuousOrderings) {
    const CtcBlockShape none{0, 1, 0};
    struct Case {
        uint32_t ordering;
        uint64_t channels, samples, channel, sample, expected;
    };
    const Case cases[] = {
        {1, 3, 10, 0, 0, 0},
        {1, 3, 10, 2, 9, 29},
        {1, 3, 10, 1, 4, 14},
        {2, 3, 10, 1, 2, 7},  // the window (1, 2, 2) uses 7 and 10
        {2, 3, 10, 1, 3, 10},
        {2, 3, 10, 2, 9, 29},
        // Beyond 32 bits: the index must not wrap.
        {1, 2, 0x80000010ull, 1, 0x80000000ull, 0x100000010ull},
        {2, 64, 0xFFFFFFFFull, 63, 0xFFFFFFFEull, 0xFFFFFFFEull * 64 + 63},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ctcElementIndex(c.ordering, c.channels, c.samples, none, 0, c.channel, c.sample),
                  c.expected)
            << "ordering " << c.ordering << " channel " << c.channel << " sample " << c.sample;
    }
    EXPECT_EQ(ctcElementIndex(7, 3, 10, none, 0, 0, 0), UINT64_MAX);
}

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
    ASSERT_TRUE(elementBytePosition(32, 5, 2, position));
    EXPECT_EQ(position, 42u);
    ASSERT_TRUE(elementBytePosition(52, 0x100000000ull, 4, position));
    EXPECT_EQ(position, 52 + 0x400000000ull);
    EXPECT_FALSE(elementBytePosition(0, UINT64_MAX / 2, 4, position));
    EXPECT_FALSE(elementBytePosition(UINT64_MAX, 1, 1, position));
}

TEST(CtcStoredIntegers, TruncateInsideTheRangeClampOutsideAndStoreNanAsZero) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float quotient;
        int16_t int16;
        int8_t int8;
    };
    const Case cases[] = {
        {3.7f, 3, 3},           {-3.7f, -3, -3},
        {0.99f, 0, 0},          {-0.99f, 0, 0},
        {126.9f, 126, 126},     {127.5f, 127, 127},
        {200.0f, 200, 127},     {-128.5f, -128, -128},
        {-200.0f, -200, -128},  {32767.9f, 32767, 127},
        {40000.0f, 32767, 127}, {-32768.9f, -32768, -128},
        {-1e30f, -32768, -128}, {inf, 32767, 127},
        {-inf, -32768, -128},   {nan, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(storedInt16(c.quotient), c.int16) << c.quotient;
        EXPECT_EQ(storedInt8(c.quotient), c.int8) << c.quotient;
    }
}

TEST(CtcSampleCodec, DecodesSignedIntegersWithScaleAndOffset) {
    const unsigned char int16Bytes[] = {0x00, 0x80};  // -32768
    const unsigned char int8Bytes[] = {0xFF};         // -1
    float sample = 0;
    decodeSamples(int16Bytes, 2, 1, SampleConversion{3, 0.5f, 10.0f}, &sample);
    EXPECT_EQ(sample, -16374.0f);
    decodeSamples(int8Bytes, 1, 1, SampleConversion{4, 2.5f, 1.0f}, &sample);
    EXPECT_EQ(sample, -1.5f);
}

TEST(CtcSampleCodec, StridedEncodeTouchesOnlyItsElements) {
    std::vector<unsigned char> elements(3 * 4, 0xAA);
    const float samples[] = {1.5f, -2.0f};
    encodeSamples(samples, 2, SampleConversion{3, 0.5f, 0.0f}, elements.data() + 2, 6);
    const std::vector<unsigned char> expected = {0xAA, 0xAA, 3,    0,    0xAA, 0xAA,
                                                 0xAA, 0xAA, 0xFC, 0xFF, 0xAA, 0xAA};
    EXPECT_EQ(elements, expected);
}

}  // namespace
