// The host's protocol texts: what is accepted, and for what is not, the
// file, the line and the reason.

#include "hostprogram/protocol_parser.h"

#include <gtest/gtest.h>

#include <fstream>

#include "hostprogram/protocol_file.h"
#include "temporary_folder.h"

namespace {

const char* const kGoodProtocol =
    "# scanner session\n"
    "experiment: Resting state # with a comment\n"
    "time-unit: samples\n"
    "\n"
    "condition: Rest\n"
    "0 9999\n"
    "condition: R-peaks\n"
    "  412 412\r\n"
    "1301 1301\n";

TEST(ProtocolText, ReadsExperimentUnitAndConditionsInOrder) {
    Protocol protocol;
    std::string error;
    ASSERT_TRUE(parseProtocolText(kGoodProtocol, "good.prt", protocol, error)) << error;
    EXPECT_EQ(protocol.experimentName, "Resting state");
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kSamples);
    ASSERT_EQ(protocol.conditions.size(), 2u);
    EXPECT_EQ(protocol.conditions[0].name, "Rest");
    EXPECT_EQ(protocol.conditions[1].name, "R-peaks");
    EXPECT_EQ(protocol.conditions[1].starts, (std::vector<int32_t>{412, 1301}));
    EXPECT_EQ(protocol.conditions[0].ends, (std::vector<int32_t>{9999}));
}

TEST(ProtocolText, AcceptsMicrosecondsAndEmptyConditions) {
    Protocol protocol;
    std::string error;
    ASSERT_TRUE(
        parseProtocolText("time-unit: microseconds\ncondition: None\ncondition: Beats\n"
                          "1500000 1500000\n",
                          "us.prt", protocol, error))
        << error;
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kMicroseconds);
    EXPECT_TRUE(protocol.conditions[0].starts.empty());
    EXPECT_EQ(protocol.conditions[1].starts[0], 1500000);
}

struct BadText {
    const char* text;
    const char* expectedError;  // the whole message, file and line first
};

const BadText kBadProtocols[] = {
    {"time-unit: samples\n412 412\n", "bad.prt:2: interval before the first 'condition:' line"},
    {"time-unit: seconds\n",
     "bad.prt:1: time unit 'seconds' is neither 'samples' nor 'microseconds'"},
    {"time-unit: samples\ncondition: A\n5\n", "bad.prt:3: interval without an end position"},
    {"time-unit: samples\ncondition: A\n5 4\n",
     "bad.prt:3: interval ends (4) before it starts (5)"},
    {"time-unit: samples\ncondition: A\n1 2\n-3 4\n", "bad.prt:4: position -3 is negative"},
    {"time-unit: samples\ncondition: A\n2147483648 2147483648\n",
     "bad.prt:3: position 2147483648 is beyond 2147483647"},
    {"time-unit: samples\ncondition: A\n1 x2\n", "bad.prt:3: 'x2' is not a whole number"},
    {"time-unit: samples\ncondition: A\n1 2 3\n", "bad.prt:3: unexpected '3' after the interval"},
    {"time-unit: samples\ncolour: red\n",
     "bad.prt:2: unknown key 'colour' (expected experiment, time-unit or condition)"},
    {"time-unit: samples\nexperiment: a\nexperiment: b\n", "bad.prt:3: second 'experiment:' line"},
    {"time-unit: samples\ntime-unit: samples\n", "bad.prt:2: second 'time-unit:' line"},
    {"time-unit: samples\ncondition: A\ncondition: A\n", "bad.prt:3: second condition named 'A'"},
    {"time-unit: samples\ncondition:\n", "bad.prt:2: condition without a name"},
    {"time-unit: samples\ncondition: ../escape\n",
     "bad.prt:2: condition name '../escape' contains '/', '\\' or a control character (it "
     "becomes part of a file name)"},
    {"time-unit: samples\nhello world\n",
     "bad.prt:2: expected 'key: value' or an interval 'start end', not 'hello world'"},
    {"condition: A\n1 1\n", "bad.prt: no 'time-unit:' line (samples or microseconds)"},
    {"experiment: x\ntime-unit: samples\n", "bad.prt: no 'condition:' line"},
    {"", "bad.prt: no 'time-unit:' line (samples or microseconds)"},
};

TEST(ProtocolText, RefusesWithFileLineAndReasonAndLeavesNothing) {
    for (const BadText& bad : kBadProtocols) {
        SCOPED_TRACE(bad.text);
        Protocol protocol;
        protocol.experimentName = "stale";
        std::string error;
        EXPECT_FALSE(parseProtocolText(bad.text, "bad.prt", protocol, error));
        EXPECT_EQ(error, bad.expectedError);
        EXPECT_TRUE(protocol.conditions.empty());
        EXPECT_TRUE(protocol.experimentName.empty());
    }
}

TEST(ProtocolText, RefusesOverlongNames) {
    Protocol protocol;
    std::string error;
    EXPECT_FALSE(parseProtocolText("time-unit: samples\ncondition: " + std::string(256, 'c') + "\n",
                                   "long.prt", protocol, error));
    EXPECT_EQ(error, "long.prt:2: condition name longer than 255 characters");
    EXPECT_FALSE(parseProtocolText("experiment: " + std::string(303, 'e') + "\n", "long.prt",
                                   protocol, error));
    EXPECT_EQ(error, "long.prt:1: experiment name longer than 302 characters");
}

TEST(TriggerList, BecomesOneConditionInSamples) {
    Protocol protocol;
    std::string error;
    ASSERT_TRUE(
        parseTriggerList("# R-peaks\n0\n  250\n\n501\r\n", "dir/peaks.txt", protocol, error))
        << error;
    EXPECT_EQ(protocol.timeUnit, TimeUnit::kSamples);
    EXPECT_EQ(protocol.experimentName, "peaks.txt");
    ASSERT_EQ(protocol.conditions.size(), 1u);
    EXPECT_EQ(protocol.conditions[0].name, kTriggerListConditionName);
    EXPECT_EQ(protocol.conditions[0].starts, (std::vector<int32_t>{0, 250, 501}));
}

TEST(TriggerList, RefusesWithLineNumbers) {
    const BadText kBadLists[] = {
        {"1\n2\n3 4\n", "t.txt:3: expected one sample number per line, found also '4'"},
        {"1\n-2\n", "t.txt:2: position -2 is negative"},
        {"1\n2.5\n", "t.txt:2: '2.5' is not a whole number"},
        {"# nothing\n\n", "t.txt: no trigger positions"},
    };
    for (const BadText& bad : kBadLists) {
        SCOPED_TRACE(bad.text);
        Protocol protocol;
        std::string error;
        EXPECT_FALSE(parseTriggerList(bad.text, "t.txt", protocol, error));
        EXPECT_EQ(error, bad.expectedError);
        EXPECT_TRUE(protocol.conditions.empty());
    }
}

TEST(ProtocolKind, ToldApartByTheFirstMeaningfulLine) {
    EXPECT_TRUE(looksLikeTriggerList("# peaks\n\n412\n"));
    EXPECT_TRUE(looksLikeTriggerList("-1\n"));
    EXPECT_FALSE(looksLikeTriggerList("experiment: x\n"));
    EXPECT_FALSE(looksLikeTriggerList(""));
}

TEST(ProtocolFile, WrittenProtocolReadsBackTheSame) {
    TemporaryFolder folder;
    Protocol written;
    written.experimentName = "Round trip";
    written.timeUnit = TimeUnit::kMicroseconds;
    written.conditions.push_back(ProtocolCondition{"First", {1, 5}, {2, 9}});
    written.conditions.push_back(ProtocolCondition{"Second", {}, {}});
    ASSERT_TRUE(writeProtocolFile(folder.file("r.prt"), written));
    Protocol read;
    std::string error;
    ASSERT_TRUE(loadProtocolFile(folder.file("r.prt"), read, error)) << error;
    EXPECT_EQ(read.experimentName, written.experimentName);
    EXPECT_EQ(read.timeUnit, written.timeUnit);
    ASSERT_EQ(read.conditions.size(), 2u);
    EXPECT_EQ(read.conditions[0].starts, written.conditions[0].starts);
    EXPECT_EQ(read.conditions[0].ends, written.conditions[0].ends);
    EXPECT_EQ(read.conditions[1].name, "Second");
}

TEST(ProtocolFile, MissingFileAndFolderAreRefusedByName) {
    TemporaryFolder folder;
    Protocol protocol;
    std::string error;
    EXPECT_FALSE(loadProtocolFile(folder.file("none.prt"), protocol, error));
    EXPECT_EQ(error, folder.file("none.prt") + ": No such file or directory");
    EXPECT_FALSE(loadProtocolFile(folder.path.string(), protocol, error));
    EXPECT_EQ(error, folder.path.string() + ": is a folder, not a file");
}

}  // namespace
