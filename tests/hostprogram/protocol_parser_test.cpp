// The host's protocol texts: what is accepted, and for what is not, the
// file, the line and the reason.

#include "hostprogram/protocols/protocol_parser.h"

#include <gtest/gtest.h>

namespace {

TEST(ProtocolText, ReadsBothKindsWithTheirUnitAndConditionsInOrder) {
    Protocol protocol;
    std::string error;
    ASSERT_TRUE(
        parseProtocolText("# scanner session\n"
                          "experiment: Resting state # with a comment\n"
                          "time-unit: samples\n"
                          "\n"
                          "condition: Rest\n"
                          "0 9999\n"
                          "condition: R-peaks\n"
                          "  412 412\r\n"
                          "1301 1301\n",
                          "good.prt", protocol, error))
        << error;
    EXPECT_EQ(protocol.experimentName, "Resting state");
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kSamples);
    ASSERT_EQ(protocol.conditions.size(), 2u);
    EXPECT_EQ(protocol.conditions[0].name, "Rest");
    EXPECT_EQ(protocol.conditions[0].ends, (std::vector<int32_t>{9999}));
    EXPECT_EQ(protocol.conditions[1].name, "R-peaks");
    EXPECT_EQ(protocol.conditions[1].starts, (std::vector<int32_t>{412, 1301}));

    ASSERT_TRUE(
        parseProtocolText("time-unit: microseconds\ncondition: None\n", "us.prt", protocol, error))
        << error;
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kMicroseconds);
    EXPECT_TRUE(protocol.conditions[0].starts.empty());

    ASSERT_TRUE(
        parseTriggerList("# R-peaks\n0\n  250\n\n501\r\n", "dir/peaks.txt", protocol, error))
        << error;
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kSamples);
    EXPECT_EQ(protocol.experimentName, "peaks.txt");
    ASSERT_EQ(protocol.conditions.size(), 1u);
    EXPECT_EQ(protocol.conditions[0].name, kTriggerListConditionName);
    EXPECT_EQ(protocol.conditions[0].starts, (std::vector<int32_t>{0, 250, 501}));
}

TEST(ProtocolText, RefusesWithFileLineAndReasonAndLeavesNothing) {
    struct BadText {
        bool triggerList;
        std::string text;
        std::string expectedError;  // the whole message, file and line first
    };
    const std::string unit = "time-unit: samples\n";
    const BadText cases[] = {
        {false, unit + "412 412\n", "bad:2: interval before the first 'condition:' line"},
        {false, "time-unit: seconds\n",
         "bad:1: time unit 'seconds' is neither 'samples' nor 'microseconds'"},
        {false, unit + "condition: A\n5\n", "bad:3: interval without an end position"},
        {false, unit + "condition: A\n5 4\n", "bad:3: interval ends (4) before it starts (5)"},
        {false, unit + "condition: A\n1 2\n-3 4\n", "bad:4: position -3 is negative"},
        {false, unit + "condition: A\n2147483648 2147483648\n",
         "bad:3: position 2147483648 is beyond 2147483647"},
        {false, unit + "condition: A\n1 x2\n", "bad:3: 'x2' is not a whole number"},
        {false, unit + "colour: red\n",
         "bad:2: unknown key 'colour' (expected experiment, time-unit or condition)"},
        {false, unit + "condition: A\ncondition: A\n", "bad:3: second condition named 'A'"},
        {false, unit + "condition: ../escape\n",
         "bad:2: condition name '../escape' contains '/', '\\' or a control character (it "
         "becomes part of a file name)"},
        {false, unit + "condition: " + std::string(256, 'c') + "\n",
         "bad:2: condition name longer than 255 characters"},
        {false, "condition: A\n1 1\n", "bad: no 'time-unit:' line (samples or microseconds)"},
        {true, "1\n2\n3 4\n", "bad:3: expected one sample number per line, found also '4'"},
        {true, "# nothing\n\n", "bad: no trigger positions"},
    };
    for (const BadText& bad : cases) {
        SCOPED_TRACE(bad.text);
        Protocol protocol;
        protocol.experimentName = "stale";
        std::string error;
        EXPECT_FALSE((bad.triggerList ? parseTriggerList : parseProtocolText)(bad.text, "bad",
                                                                              protocol, error));
        EXPECT_EQ(error, bad.expectedError);
        EXPECT_TRUE(protocol.conditions.empty());
        EXPECT_TRUE(protocol.experimentName.empty());
    }
}

}  // namespace
