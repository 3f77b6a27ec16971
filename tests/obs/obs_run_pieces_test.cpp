// Unit conversions, the segment count, the work storage check and the
// checked output copy.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "obs/obs_correction.h"
#include "obs/obs_workspace.h"
#include "obs/output_copy.h"
#include "obs/sample_conversions.h"
#include "obs_test_support.h"

namespace {

constexpr int32_t kIndefinite = std::numeric_limits<int32_t>::min();

struct WindowCase {
    int32_t milliseconds;
    float frequency;
    int32_t samples;  // -1: refused
};

TEST(SampleConversions, WindowMillisecondsToSamples) {
    const WindowCase cases[] = {
        {500, 1000.0f, 500},      {1200, 256.0f, 307}, {0, 256.0f, 0},
        {5000, 20000.0f, 100000}, {1, 999.0f, 0},  // less than one sample truncates to zero
        {500, -1000.0f, -1},      {5000, 1e9f, -1},    {500, std::nanf(""), -1},
        {500, INFINITY, -1},
    };
    for (const WindowCase& c : cases) {
        int32_t samples = -7;
        EXPECT_EQ(windowSamplesFromMilliseconds(c.milliseconds, c.frequency, &samples),
                  c.samples >= 0)
            << c.milliseconds << " ms at " << c.frequency << " Hz";
        if (c.samples >= 0) {
            EXPECT_EQ(samples, c.samples) << c.milliseconds << " ms";
        }
    }
}

TEST(SampleConversions, PositionsTimesAndDurationsAtTheirLimits) {
    EXPECT_EQ(triggerSampleFromMicroseconds(1500000, 1000.0f), 1500);
    // 16777217 has no float; in double the trigger would be 16777217.
    EXPECT_EQ(triggerSampleFromMicroseconds(16777217, 1000000.0f), 16777216);
    EXPECT_EQ(triggerSampleFromMicroseconds(2000000000, 1e9f), kIndefinite);

    EXPECT_EQ(trialTimeFromSampleNumber(1001, 1000.0f), 1000000.0f);
    EXPECT_EQ(trialTimeFromSampleNumber(0, 1000.0f), -1000.0f);
    // The smallest position must not wrap when one is subtracted.
    EXPECT_LT(trialTimeFromSampleNumber(std::numeric_limits<int32_t>::min(), 1000.0f), 0.0f);

    EXPECT_EQ(truncateToInt32(-1.5), -1);
    EXPECT_EQ(truncateToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(truncateToInt32(-2147483648.9), std::numeric_limits<int32_t>::min());
    for (double outside : {2147483648.0, std::nan(""), -static_cast<double>(INFINITY)})
        EXPECT_EQ(truncateToInt32(outside), kIndefinite) << outside;

    // Samples are unsigned: the largest count is not negative.
    EXPECT_GT(durationMinutes(4294967295u, 1000.0f), 0.0f);
    EXPECT_EQ(durationMilliseconds(10, 0.0f), kIndefinite);
}

TEST(ObsWorkspaceCheck, SegmentsAndStorageLimits) {
    EXPECT_EQ(obsSegmentCount(20, 10), 2);
    EXPECT_EQ(obsSegmentCount(101, 100), 2);

    EXPECT_TRUE(obsWorkspaceCountsFit(46340, 1));
    EXPECT_FALSE(obsWorkspaceCountsFit(46341, 1));  // A*A
    EXPECT_TRUE(obsWorkspaceCountsFit(214, 10034970));
    EXPECT_FALSE(obsWorkspaceCountsFit(214, 10034971));  // A*L
    EXPECT_FALSE(obsWorkspaceCountsFit(0, 10));
    EXPECT_FALSE(obsWorkspaceCountsFit(10, 0));
    EXPECT_EQ(checkObsWorkspace(100, 1701), ObsWorkspaceCheck::Fits);
    EXPECT_EQ(checkObsWorkspace(300, 10000001), ObsWorkspaceCheck::CountsTooLarge);

    // The default settings need every array counted and stay under 5 MB.
    const uint64_t bytes = obsWorkspaceBytes(100, 1701);
    EXPECT_GE(bytes, 24u * 100 * 1701 + 32u * 100 * 100);
    EXPECT_LT(bytes, 5000000u);
}

class OutputCopy : public ::testing::Test {
protected:
    TemporaryFolder folder;
};

TEST_F(OutputCopy, CopiesEveryByteAndReplacesAnExistingFile) {
    std::string bytes;
    // Longer than one transfer of the copy, and not a multiple of it.
    for (int i = 0; i < (3 << 20) + 17; ++i) bytes += static_cast<char>(i * 7 + i / 256);
    for (const std::string& content : {std::string(), std::string("x"), bytes}) {
        writeFileBytes(folder.file("in.ctc"), content);
        writeFileBytes(folder.file("out.ctc"), std::string(300000, 'o'));
        ASSERT_TRUE(copyFileChecked(folder.file("in.ctc"), folder.file("out.ctc")));
        EXPECT_EQ(readFileBytes(folder.file("out.ctc")), content);
    }
}

// A failed copy leaves no output behind, but an output path it could not
// open is not its to remove.
TEST_F(OutputCopy, FailsWithoutLeavingAnOutputBehind) {
    EXPECT_FALSE(copyFileChecked(folder.file("missing.ctc"), folder.file("out.ctc")));
    EXPECT_FALSE(fileExists(folder.file("out.ctc")));

    // An input that opens but cannot be read to its end.
    std::filesystem::create_directory(folder.file("folder.ctc"));
    EXPECT_FALSE(copyFileChecked(folder.file("folder.ctc"), folder.file("out.ctc")));
    EXPECT_FALSE(fileExists(folder.file("out.ctc")));

    writeFileBytes(folder.file("in.ctc"), "data");
    std::filesystem::create_directory(folder.file("out.ctc"));
    EXPECT_FALSE(copyFileChecked(folder.file("in.ctc"), folder.file("out.ctc")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.file("out.ctc")));
}

}  // namespace
