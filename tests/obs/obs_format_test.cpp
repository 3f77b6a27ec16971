// The texts a run writes: numbers of the trial list and the names of the
// files it makes beside its input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "obs/general_number_format.h"
#include "obs/run_paths.h"
#include "obs/trial_list.h"

namespace {

struct FormatCase {
    double value;
    const char* text;
};

TEST(GeneralNumberFormat, WritesSixSignificantDigitsWithThreeDigitExponents) {
    // Ordinary values are covered against the C library below.
    const FormatCase cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {999999.0, "999999"},
        {1000000.0, "1e+006"},
        {static_cast<double>(1234567.9f), "1.23457e+006"},
        {999999.5, "1e+006"},  // rounding carries into the exponent form
        {0.0001, "0.0001"},
        {0.00001, "1e-005"},
        {1.5e300, "1.5e+300"},
        {1e-300, "1e-300"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::nan(""), "nan"},
    };
    for (const FormatCase& c : cases) EXPECT_EQ(formatGeneralSixDigits(c.value), c.text) << c.value;
}

// Against the C library's general notation, with its exponent widened to
// three digits: the digits and the choice of notation must agree everywhere.
TEST(GeneralNumberFormat, AgreesWithGeneralNotationApartFromExponentWidth) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-12, 12);
    for (int i = 0; i < 5000; ++i) {
        const float value = static_cast<float>(mantissa(random) * std::pow(10.0, exponent(random)));
        char text[64];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        std::string expected = text;
        const std::size_t e = expected.find('e');
        if (e != std::string::npos && expected.size() - e == 4) expected.insert(e + 2, "0");
        ASSERT_EQ(formatGeneralSixDigits(static_cast<double>(value)), expected) << text;
    }
}

TEST(TrialTimeText, ConditionNameIsCutAtTheFieldEvenWithoutTerminator) {
    ConditionRecord condition;
    std::memset(condition.ConditionName, 'x', sizeof condition.ConditionName);
    EXPECT_EQ(conditionNameOf(condition), std::string(255, 'x'));
    std::snprintf(condition.ConditionName, sizeof condition.ConditionName, "R");
    EXPECT_EQ(conditionNameOf(condition), "R");
}

TEST(RunPaths, ReplaceTheLastFourCharactersOfTheInputWithoutLoss) {
    EXPECT_EQ(outputPathFor("/data/run1.CTC"), "/data/run1_OBS.ctc");
    EXPECT_EQ(outputPathFor("abcd"), "_OBS.ctc");
    EXPECT_EQ(trialListPathFor("run1.ctc", "Gradient artifact"), "run1_Gradient artifact.trl");
    EXPECT_FALSE(hasReplaceableExtension(""));
    EXPECT_FALSE(hasReplaceableExtension("a.c"));
    EXPECT_TRUE(hasReplaceableExtension("abcd"));

    const std::string input = std::string(251, 'p') + ".ctc";
    const std::string condition(255, 'c');
    EXPECT_EQ(trialListPathFor(input, condition), std::string(251, 'p') + "_" + condition + ".trl");
    EXPECT_EQ(outputPathFor(input).size(), 259u);
}

}  // namespace
