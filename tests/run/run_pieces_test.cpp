// The run's pieces at their limits: the trial list's numbers, the names of
// the files beside the input, unit conversions and the checked output copy.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "obs_test_support.h"
#include "run/general_number_format.h"
#include "run/output_copy.h"
#include "run/run_paths.h"
#include "run/sample_conversions.h"
#include "run/trial_list.h"

namespace {

constexpr int32_t kIndefinite = std::numeric_limits<int32_t>::min();

// Against the C library's general notation, with its exponent widened to
// three digits: the digits and the choice of notation must agree everywhere,
// at the values where notation or width change and at random ones.
TEST(GeneralNumberFormat, AgreesWithGeneralNotationApartFromExponentWidth) {
    std::vector<double> values = {0.0,     999999.0, 999999.5,  0.0001,
                                  0.00001, 1.5e300,  -INFINITY, std::nan("")};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 5000; ++i)
        values.push_back(static_cast<float>(mantissa(random) * std::pow(10.0, exponent(random))));
    for (const double value : values) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", value);
        std::string expected = text;
        const std::size_t e = expected.find('e');
        if (e != std::string::npos && expected.size() - e == 4) expected.insert(e + 2, "0");
        ASSERT_EQ(formatGeneralSixDigits(value), expected) << text;
    }
}

TEST(RunPaths, NamesBesideTheInputWithoutLoss) {
    ConditionRecord condition;
    std::memset(condition.ConditionName, 'c', sizeof condition.ConditionName);
    EXPECT_EQ(conditionNameOf(condition), std::string(255, 'c'));  // no terminator

    EXPECT_EQ(outputPathFor("/data/run1.CTC"), "/data/run1_OBS.ctc");
    EXPECT_EQ(outputPathFor("abcd"), "_OBS.ctc");
    EXPECT_FALSE(hasReplaceableExtension("a.c"));
    const std::string input = std::string(251, 'p') + ".ctc";
    EXPECT_EQ(trialListPathFor(input, conditionNameOf(condition)),
              std::string(251, 'p') + "_" + std::string(255, 'c') + ".trl");
}

// A negative rate is checked through whole runs.
TEST(SampleConversions, WindowsPositionsAndDurationsAtTheirLimits) {
    const struct {
        int32_t milliseconds;
        float frequency;
        int32_t samples;  // -1: refused
    } windows[] = {{1, 999.0f, 0},   {500, 256.0f, 128},       {1200, 256.0f, 307},
                   {5000, 1e9f, -1}, {500, std::nanf(""), -1}, {500, INFINITY, -1}};
    for (const auto& c : windows) {
        int32_t samples = -7;
        EXPECT_EQ(
            windowSamplesFromMilliseconds(c.milliseconds, c.frequency, &samples) ? samples : -1,
            c.samples)
            << c.milliseconds << " ms at " << c.frequency << " Hz";
    }

    // 16777217 has no float; in double the trigger would be 16777217.
    EXPECT_EQ(triggerSampleFromMicroseconds(16777217, 1000000.0f), 16777216);
    EXPECT_EQ(triggerSampleFromMicroseconds(2000000000, 1e9f), kIndefinite);
    // The smallest position must not wrap when one is subtracted.
    EXPECT_LT(trialTimeFromSampleNumber(std::numeric_limits<int32_t>::min(), 1000.0f), 0.0f);
    EXPECT_EQ(truncateToInt32(2147483647.9), 2147483647);
    for (double outside : {2147483648.0, -static_cast<double>(INFINITY), std::nan("")})
        EXPECT_EQ(truncateToInt32(outside), kIndefinite) << outside;
    // Samples are unsigned: the largest count is not negative.
    EXPECT_GT(durationMinutes(4294967295u, 1000.0f), 0.0f);
    EXPECT_NEAR(durationMinutes(1000, 256.0f), 0.065104f, 1e-6f);
    EXPECT_EQ(durationMilliseconds(1000, 256.0f), 3906);
    EXPECT_EQ(durationMilliseconds(10, 0.0f), kIndefinite);
}

// Every byte, over several transfers and into an existing longer file; a
// failed copy leaves no output behind (a missing input is a whole-run exit),
// but an output path it could not open is not its to remove.
TEST(OutputCopy, CopiesEveryByteOrLeavesNoOutput) {
    TemporaryFolder folder;
    const std::string in = folder.file("in.ctc"), out = folder.file("out.ctc");
    std::string bytes;
    for (int i = 0; i < (3 << 20) + 17; ++i) bytes += static_cast<char>(i * 7 + i / 256);
    for (const std::string& content : {std::string(), bytes}) {
        writeFile(in, content);
        writeFile(out, std::string(300000, 'o'));
        ASSERT_TRUE(copyFileChecked(in, out));
        EXPECT_EQ(readFile(out), content);
    }

    std::filesystem::remove(out);
    std::filesystem::create_directory(folder.file("folder.ctc"));  // opens, cannot be read
    EXPECT_FALSE(copyFileChecked(folder.file("folder.ctc"), out));
    EXPECT_FALSE(std::filesystem::exists(out));
    std::filesystem::create_directory(out);
    EXPECT_FALSE(copyFileChecked(in, out));
    EXPECT_TRUE(std::filesystem::is_directory(out));
}

}  // namespace
