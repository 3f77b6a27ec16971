// Every way a run can end, with its report, its result and what it leaves
// on disk.

#include <algorithm>
#include <functional>

#include "obs_run_fixture.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OBS_HAS_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef OBS_HAS_ADDRESS_SANITIZER
#define OBS_HAS_ADDRESS_SANITIZER 0
#endif

namespace {

enum class OutputLeft { None, CopyOfInput, Corrected };

// `before` goes ahead of a script that answers every question with
// `answers`; FOLDER/ in it stands for the run's folder.
struct ExitCase {
    const char* name;
    const char* before;
    std::vector<int> answers;
    const char* report;  // the last log line or message box, as the transcript shows it
    bool result;
    OutputLeft output;
};

void PrintTo(const ExitCase& exit, std::ostream* out) {
    *out << exit.name;
}

const std::vector<int> kGood = {2, 5, 10, 10, 2};
const char* const kCopyError =
    "ztLogText \"// KORUSuite> Error creating the output file. Exiting plugin.\"";
const char* const kNoInput =
    "ztLogText \"// KORUSuite> Data file not selected correctly. Exiting plugin.\"";
const char* const kBadComponents =
    "ztMessageBox \"Number of PCs to keep must lie between 1 and the number of artifacts per "
    "segment. Exiting plugin.\"";
const char* const kNegativeTime =
    "ztMessageBox \"Pre-trigger and post-trigger times must not be negative. Exiting plugin.\"";

const ExitCase kExits[] = {
    {"OlderHost", "version 1 8 2\n", kGood,
     "ztMessageBox \"Can not execute this plugin - LumatraZT version 1.8.3 or higher required.\"",
     false, OutputLeft::None},
    {"NoDocument", "novmr\n", kGood, "ztLogText \"// KORUSuite>  Could not get VMR!\"", false,
     OutputLeft::None},
    {"NoInputChosen", "cancel\n", kGood, kNoInput, false, OutputLeft::None},
    {"InputPathShorterThanItsExtension", "open a.c\n", kGood, kNoInput, false, OutputLeft::None},
    {"InputMissing", "open FOLDER/missing.ctc\n", kGood, kCopyError, false, OutputLeft::None},
    {"DiskFullDuringCopy", "filesize-limit-on Creating 1500\n", kGood, kCopyError, false,
     OutputLeft::None},
    {"NoProtocolChosen", "open FOLDER/in.ctc\ncancel\n", kGood,
     "ztLogText \"// KORUSuite> Protocol file not specified correctly. Exiting plugin.\"", false,
     OutputLeft::CopyOfInput},
    {"ProtocolNotApplied", "noprotocol\n", kGood,
     "ztLogText \"// KORUSuite> Protocol not applied to the current VMR/SRF. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"NoConditionChosen",
     "",
     {0},
     "ztLogText \"// KORUSuite> Protocol condition not selected. Exiting plugin.\"",
     true,
     OutputLeft::CopyOfInput},
    {"ConditionBeyondTheProtocol",
     "",
     {3},
     "ztMessageBox \"The selected protocol condition does not exist. Exiting plugin.\"",
     true,
     OutputLeft::CopyOfInput},
    {"NegativePreTriggerTime", "", {2, -1, 10}, kNegativeTime, true, OutputLeft::CopyOfInput},
    {"NegativePostTriggerTime", "", {2, 5, -20}, kNegativeTime, true, OutputLeft::CopyOfInput},
    {"NoArtifactsPerSegment",
     "",
     {2, 5, 10, 0},
     "ztMessageBox \"Number of artifacts per segment must be at least 1. Exiting plugin.\"",
     true,
     OutputLeft::CopyOfInput},
    {"NoComponents", "", {2, 5, 10, 10, 0}, kBadComponents, true, OutputLeft::CopyOfInput},
    {"MoreComponentsThanArtifacts",
     "",
     {2, 5, 10, 10, 11},
     kBadComponents,
     true,
     OutputLeft::CopyOfInput},
    // Ten occurrences for segments of 30.
    {"TooFewOccurrences",
     "",
     {2, 5, 10, 30, 3},
     "ztMessageBox \"Too few artifact examples to cover the OBS segment!\\nYou may try with a "
     "smaller OBS segment. Exiting plugin.\"",
     true,
     OutputLeft::CopyOfInput},
    {"FailedTransferDuringCorrection", "truncate-on 1/1 FOLDER/in_OBS.ctc 32\n", kGood,
     "ztLogText \"// KORUSuite> Error reading or writing the output file during correction. "
     "Exiting plugin.\"",
     false, OutputLeft::Corrected},
    {"Completed", "", kGood, "ztLogText \" \"", true, OutputLeft::Corrected},
};

class RunExits : public WholeRun, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(RunExits, ReportsResultAndOutput) {
    const ExitCase& exit = GetParam();
    writeTestRecording(input(), smallRecording());
    const std::string inputBytes = readFileBytes(input());
    std::string before = exit.before;
    for (std::size_t at; (at = before.find("FOLDER/")) != std::string::npos;)
        before.replace(at, 6, folder.path());
    const HostRun host = run(before + script(positionsFrom(10, 20, 25), exit.answers));
    ASSERT_EQ(host.exitStatus, 0);
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back(), exit.result ? "execute -> true" : "execute -> false");
    EXPECT_EQ(lastReport(host.calls), exit.report);
    expectBusyOffAtDialogsAndEnds(host.calls);

    const bool completed = exit.report == std::string("ztLogText \" \"");
    const auto completion = callsStartingWith(
        host.calls, "ztLogText \"// KORUSuite> Artifact template removal completed!\"");
    EXPECT_EQ(completion.size(), completed ? 1u : 0u);

    EXPECT_EQ(readFileBytes(input()), inputBytes) << "the input is never touched";
    EXPECT_EQ(fileExists(output()), exit.output != OutputLeft::None);
    if (exit.output == OutputLeft::CopyOfInput) {
        EXPECT_EQ(readFileBytes(output()), inputBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryExit, RunExits, ::testing::ValuesIn(kExits),
                         [](const ::testing::TestParamInfo<ExitCase>& info) {
                             return std::string(info.param.name);
                         });

// Exits that depend on the recording itself: each leaves the output a copy
// of the input and ends with true; the unreadable ones right after the
// header, before the protocol is asked for.
TEST_F(WholeRun, RecordingsTheRunRefuses) {
    TestRecording versionZero = smallRecording();
    versionZero.fileVersion = 0;
    struct RecordingCase {
        std::function<void()> write;
        std::string script;
        std::string report;
        bool afterHeader;
    };
    const std::string good = script(positionsFrom(10, 20, 25), kGood);
    const std::vector<RecordingCase> cases = {
        {[&] { writeFileBytes(input(), std::string(40, '\0')); },  // DataType 0
         script("20", {}), "ztLogText \"// KORUSuite> Error reading CTC file. Exiting plugin.\"",
         false},
        {[&] { writeTestRecording(input(), versionZero); }, good,
         "ztLogText \"// KORUSuite> FileVersion 0: the data of this file cannot be accessed. "
         "Exiting plugin.\"",
         true},
        {[&] { writeEpochedTestRecording(input()); }, good,
         "ztLogText \"// KORUSuite> SampleOrdering 3 not supported, only 1 and 2. Exiting "
         "plugin.\"",
         true},
        {[&] { writeTestRecording(input(), smallRecording(-1000.0f)); }, good,
         "ztMessageBox \"The temporal window does not cover a valid number of samples at this "
         "sampling frequency. Exiting plugin.\"",
         false},
        // A window of ten million samples for 300 occurrences: 3e9 elements per
        // array, beyond what the array routines can count.
        {[&] { writeTestRecording(input(), smallRecording(1000000.0f)); },
         script(positionsFrom(300, 1, 1), {2, 5000, 5000, 300, 3}),
         "ztMessageBox \"OBS segment and temporal window too large for the OBS work "
         "storage!\\nYou may try with a smaller OBS segment or window. Exiting plugin.\"",
         false},
    };
    for (const RecordingCase& c : cases) {
        c.write();
        const HostRun host = run(c.script);
        EXPECT_EQ(host.calls.back(), "execute -> true") << c.report;
        EXPECT_EQ(lastReport(host.calls), c.report);
        EXPECT_EQ(readFileBytes(output()), readFileBytes(input())) << c.report;
        expectBusyOffAtDialogsAndEnds(host.calls);
        if (!c.afterHeader) continue;
        const auto reportAt = std::find(host.calls.begin(), host.calls.end(), c.report);
        ASSERT_NE(reportAt, host.calls.end());
        EXPECT_EQ(
            reportAt[-1].rfind("ztLogText \"// KORUSuite> Total data segment duration [msec]", 0),
            0u);
        EXPECT_TRUE(callsStartingWith(host.calls, "ztGetOpenFileName \"Please select the protocol")
                        .empty());
    }
}

// 300 windows of half a million samples need about 3 GB of work storage; in
// a host limited to 1 GB the run refuses them before allocating anything.
// (The address sanitizer reserves far more address space than that itself.)
TEST_F(WholeRun, WorkStorageBeyondTheAvailableMemory) {
#if defined(__SANITIZE_ADDRESS__) || OBS_HAS_ADDRESS_SANITIZER
    GTEST_SKIP() << "an address space limit cannot be combined with the address sanitizer";
#endif
    writeTestRecording(input(), smallRecording(100000.0f));
    const HostRun host = run("address-space-limit 1000000000\n" +
                             script(positionsFrom(300, 1, 1), {2, 2500, 2500, 300, 3}));
    EXPECT_EQ(host.exitStatus, 0);
    EXPECT_EQ(host.calls.back(), "execute -> true");
    EXPECT_EQ(lastReport(host.calls),
              "ztMessageBox \"Not enough memory for the OBS work storage!\\nYou may try with a "
              "smaller OBS segment or window. Exiting plugin.\"");
    EXPECT_EQ(readFileBytes(output()), readFileBytes(input()));
}

// Writes that cannot reach the disk once the correction runs: whether the
// failure shows at a transfer or at the close, the run reports it and does
// not claim completion.
TEST_F(WholeRun, WritesThatCannotReachTheDisk) {
    writeTestRecording(input(), smallRecording());
    const HostRun host =
        run(script(positionsFrom(10, 20, 25), kGood, "filesize-limit-on Accessing 40\n"));
    EXPECT_EQ(host.calls.back(), "execute -> false");
    const std::string report = lastReport(host.calls);
    EXPECT_TRUE(report ==
                    "ztLogText \"// KORUSuite> Error reading or writing the output file during "
                    "correction. Exiting plugin.\"" ||
                report ==
                    "ztLogText \"// KORUSuite> Error closing the output file: not all corrected "
                    "data reached the disk. Exiting plugin.\"")
        << report;
    EXPECT_TRUE(callsStartingWith(host.calls,
                                  "ztLogText \"// KORUSuite> Artifact template removal completed!")
                    .empty());
    expectBusyOffAtDialogsAndEnds(host.calls);
}

// Hosts the plug-in must not take for its own.
TEST_F(WholeRun, ForeignHostsEndTheRunWithoutCorrecting) {
    EXPECT_EQ(runTestHost(folder, "", copyOfTestHostNamed(folder, "OtherHost")).calls,
              std::vector<std::string>{"execute -> false"});
    const std::vector<std::string> expected = {
        "ztMessageBox \"Did not get access to MKL CBLAS functions!\"", "execute -> false"};
    EXPECT_EQ(runTestHost(folder, "", copyOfTestHostNamed(folder, "Lumatra")).calls, expected);
}

}  // namespace
