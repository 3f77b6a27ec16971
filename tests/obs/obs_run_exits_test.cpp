// Every way a run can end, with its report, its result and what it leaves
// on disk.

#include <algorithm>
#include <filesystem>

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

struct ExitCase {
    const char* name;
    std::string (*script)(const WholeRun& run, const std::string& base);
    const char* report;  // the last log line or message box, as the transcript shows it
    bool result;
    OutputLeft output;
};

void PrintTo(const ExitCase& exit, std::ostream* out) {
    *out << exit.name;
}

class RunExits : public WholeRun, public ::testing::WithParamInterface<ExitCase> {
public:
    std::string baseScript() const { return script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}); }
};

std::string unchanged(const WholeRun&, const std::string& base) {
    return base;
}

const ExitCase kExits[] = {
    {"OlderHost", [](const WholeRun&, const std::string& base) { return "version 1 8 2\n" + base; },
     "ztMessageBox \"Can not execute this plugin - LumatraZT version 1.8.3 or higher required.\"",
     false, OutputLeft::None},
    {"NoDocument", [](const WholeRun&, const std::string& base) { return "novmr\n" + base; },
     "ztLogText \"// KORUSuite>  Could not get VMR!\"", false, OutputLeft::None},
    {"NoInputChosen", [](const WholeRun&, const std::string&) { return std::string("cancel\n"); },
     "ztLogText \"// KORUSuite> Data file not selected correctly. Exiting plugin.\"", false,
     OutputLeft::None},
    {"InputPathShorterThanItsExtension",
     [](const WholeRun&, const std::string&) { return std::string("open a.c\n"); },
     "ztLogText \"// KORUSuite> Data file not selected correctly. Exiting plugin.\"", false,
     OutputLeft::None},
    {"InputMissing",
     [](const WholeRun& run, const std::string&) {
         return "open " + run.folder.file("missing.ctc") + "\n";
     },
     "ztLogText \"// KORUSuite> Error creating the output file. Exiting plugin.\"", false,
     OutputLeft::None},
    {"DiskFullDuringCopy",
     [](const WholeRun&, const std::string& base) {
         return "filesize-limit-on Creating 1500\n" + base;
     },
     "ztLogText \"// KORUSuite> Error creating the output file. Exiting plugin.\"", false,
     OutputLeft::None},
    {"NoProtocolChosen",
     [](const WholeRun& run, const std::string&) { return "open " + run.input() + "\ncancel\n"; },
     "ztLogText \"// KORUSuite> Protocol file not specified correctly. Exiting plugin.\"", false,
     OutputLeft::CopyOfInput},
    {"ProtocolNotApplied",
     [](const WholeRun&, const std::string& base) { return "noprotocol\n" + base; },
     "ztLogText \"// KORUSuite> Protocol not applied to the current VMR/SRF. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"NoConditionChosen",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {0});
     },
     "ztLogText \"// KORUSuite> Protocol condition not selected. Exiting plugin.\"", true,
     OutputLeft::CopyOfInput},
    {"ConditionBeyondTheProtocol",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {3});
     },
     "ztMessageBox \"The selected protocol condition does not exist. Exiting plugin.\"", true,
     OutputLeft::CopyOfInput},
    {"NegativePreTriggerTime",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {2, -1, 10});
     },
     "ztMessageBox \"Pre-trigger and post-trigger times must not be negative. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"NegativePostTriggerTime",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {2, 5, -20});
     },
     "ztMessageBox \"Pre-trigger and post-trigger times must not be negative. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"NoArtifactsPerSegment",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {2, 5, 10, 0});
     },
     "ztMessageBox \"Number of artifacts per segment must be at least 1. Exiting plugin.\"", true,
     OutputLeft::CopyOfInput},
    {"NoComponents",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 0});
     },
     "ztMessageBox \"Number of PCs to keep must lie between 1 and the number of artifacts per "
     "segment. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"MoreComponentsThanArtifacts",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 11});
     },
     "ztMessageBox \"Number of PCs to keep must lie between 1 and the number of artifacts per "
     "segment. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"TooFewOccurrences",
     [](const WholeRun& run, const std::string&) {
         return run.script(positionsFrom(25, 10, 10), {2, 5, 10, 30, 3});
     },
     "ztMessageBox \"Too few artifact examples to cover the OBS segment!\\nYou may try with a "
     "smaller OBS segment. Exiting plugin.\"",
     true, OutputLeft::CopyOfInput},
    {"FailedTransferDuringCorrection",
     [](const WholeRun& run, const std::string& base) {
         return base + "truncate-on 1/1 " + run.output() + " 32\n";
     },
     "ztLogText \"// KORUSuite> Error reading or writing the output file during correction. "
     "Exiting plugin.\"",
     false, OutputLeft::Corrected},
    {"Completed", unchanged, "ztLogText \" \"", true, OutputLeft::Corrected},
};

TEST_P(RunExits, ReportsResultAndOutput) {
    const ExitCase& exit = GetParam();
    writeTestRecording(input(), smallRecording());
    const std::string inputBytes = readFileBytes(input());
    const HostRun host = run(exit.script(*this, baseScript()));
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
    switch (exit.output) {
        case OutputLeft::None:
            EXPECT_FALSE(fileExists(output()));
            break;
        case OutputLeft::CopyOfInput:
            EXPECT_EQ(readFileBytes(output()), inputBytes);
            break;
        case OutputLeft::Corrected:
            EXPECT_TRUE(fileExists(output()));
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryExit, RunExits, ::testing::ValuesIn(kExits),
                         [](const ::testing::TestParamInfo<ExitCase>& info) {
                             return std::string(info.param.name);
                         });

// Exits that depend on the recording itself.
class RunRefusesRecording : public WholeRun {
protected:
    void expectRefusedAfterHeader(const HostRun& host, const std::string& report,
                                  const std::string& inputBytes) {
        EXPECT_EQ(host.calls.back(), "execute -> true");
        EXPECT_EQ(lastReport(host.calls), report);
        // Right after the header, before the protocol is asked for.
        const auto reportAt = std::find(host.calls.begin(), host.calls.end(), report);
        ASSERT_NE(reportAt, host.calls.end());
        EXPECT_EQ(
            reportAt[-1].rfind("ztLogText \"// KORUSuite> Total data segment duration [msec]", 0),
            0u);
        EXPECT_TRUE(callsStartingWith(host.calls, "ztGetOpenFileName \"Please select the protocol")
                        .empty());
        EXPECT_EQ(readFileBytes(output()), inputBytes);
        expectBusyOffAtDialogsAndEnds(host.calls);
    }
};

TEST_F(RunRefusesRecording, FileTheAccessLayerCannotOpen) {
    writeFileBytes(input(), std::string(40, '\0'));  // DataType 0
    const HostRun host = run(script("20", {}));
    EXPECT_EQ(host.calls.back(), "execute -> true");
    EXPECT_EQ(lastReport(host.calls),
              "ztLogText \"// KORUSuite> Error reading CTC file. Exiting plugin.\"");
    EXPECT_EQ(readFileBytes(output()), std::string(40, '\0'));
    expectBusyOffAtDialogsAndEnds(host.calls);
}

TEST_F(RunRefusesRecording, FileVersionZero) {
    TestRecording recording = smallRecording();
    recording.fileVersion = 0;
    writeTestRecording(input(), recording);
    const HostRun host = run(script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}));
    expectRefusedAfterHeader(
        host,
        "ztLogText \"// KORUSuite> FileVersion 0: the data of this file cannot be accessed. "
        "Exiting plugin.\"",
        readFileBytes(input()));
}

TEST_F(RunRefusesRecording, EpochedSampleOrdering) {
    writeEpochedTestRecording(input());
    const HostRun host = run(script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}));
    expectRefusedAfterHeader(
        host,
        "ztLogText \"// KORUSuite> SampleOrdering 3 not supported, only 1 and 2. Exiting plugin.\"",
        readFileBytes(input()));
}

TEST_F(RunRefusesRecording, WindowWithoutAValidSampleCount) {
    writeTestRecording(input(), smallRecording(-1000.0f));
    const HostRun host = run(script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}));
    EXPECT_EQ(host.calls.back(), "execute -> true");
    EXPECT_EQ(lastReport(host.calls),
              "ztMessageBox \"The temporal window does not cover a valid number of samples at "
              "this sampling frequency. Exiting plugin.\"");
    expectBusyOffAtDialogsAndEnds(host.calls);
}

// A window of ten million samples for 300 occurrences: 3e9 elements per
// array, beyond what the array routines can count.
TEST_F(RunRefusesRecording, WorkStorageBeyondTheArrayRoutines) {
    writeTestRecording(input(), smallRecording(1000000.0f));
    const HostRun host = run(script(positionsFrom(300, 1, 1), {2, 5000, 5000, 300, 3}));
    EXPECT_EQ(host.calls.back(), "execute -> true");
    EXPECT_EQ(lastReport(host.calls),
              "ztMessageBox \"OBS segment and temporal window too large for the OBS work "
              "storage!\\nYou may try with a smaller OBS segment or window. Exiting plugin.\"");
    EXPECT_EQ(readFileBytes(output()), readFileBytes(input()));
    expectBusyOffAtDialogsAndEnds(host.calls);
}

// 300 windows of half a million samples need about 3 GB of work storage; in
// a host limited to 1 GB the run refuses them before allocating anything.
// (The address sanitizer reserves far more address space than that itself.)
TEST_F(RunRefusesRecording, WorkStorageBeyondTheAvailableMemory) {
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
TEST_F(RunRefusesRecording, WritesThatCannotReachTheDisk) {
    writeTestRecording(input(), smallRecording());
    const HostRun host = run(
        script(positionsFrom(10, 20, 25), {2, 5, 10, 10, 2}, "filesize-limit-on Accessing 40\n"));
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
TEST_F(WholeRun, WithoutTheHostExecutableTheRunEndsSilently) {
    const HostRun host = runTestHost(folder, "", copyOfTestHostNamed(folder, "OtherHost"));
    EXPECT_EQ(host.exitStatus, 0);
    EXPECT_EQ(host.calls, std::vector<std::string>{"execute -> false"});
}

TEST_F(WholeRun, HostWithoutMatrixProductsEndsWithItsMessage) {
    const HostRun host = runTestHost(folder, "", copyOfTestHostNamed(folder, "Lumatra"));
    const std::vector<std::string> expected = {
        "ztMessageBox \"Did not get access to MKL CBLAS functions!\"", "execute -> false"};
    EXPECT_EQ(host.calls, expected);
}

}  // namespace
