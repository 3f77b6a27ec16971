// Whole runs of the plug-in module, with this test executable as the host:
// every exit with its report, result and what it leaves on disk, the exact
// calls of a complete run, the questions and window conversions, the trial
// list, and consecutive runs.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "whole_run.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OBS_HAS_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(OBS_HAS_ADDRESS_SANITIZER)
#define OBS_HAS_ADDRESS_SANITIZER 1
#endif

namespace {

// From the log line that contains `token` on, the process may have only
// `bytes` of the resource (RLIMIT_FSIZE: writes beyond fail instead of
// ending the process).
std::function<void(const std::string&)> limitFrom(std::string token, int resource, rlim_t bytes) {
    return [=](const std::string& line) {
        if (line.find(token) == std::string::npos) return;
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(resource, &limit);
        limit.rlim_cur = bytes;
        setrlimit(resource, &limit);
    };
}

// 300 occurrences, one at every sample, in a recording at `frequency`.
void occurrencesAtEverySample(WholeRun& r, float frequency) {
    r.writeInput(frequency);
    r.host.conditions[1].second = positionsFrom(300, 1, 1);
}

// How far a run got before it ended: what it leaves on disk, and whether it
// asked for the protocol.
enum class Reached { Start, Copy, Protocol, Correction };

const char* const kCopyError =
    "ztLogText \"// KORUSuite> Error creating the output file. Exiting plugin.\"";
const char* const kNoInput =
    "ztLogText \"// KORUSuite> Data file not selected correctly. Exiting plugin.\"";
const char* const kBadComponents =
    "ztMessageBox \"Number of PCs to keep must lie between 1 and the number of artifacts per "
    "segment. Exiting plugin.\"";
const char* const kNegativeTime =
    "ztMessageBox \"Pre-trigger and post-trigger times must not be negative. Exiting plugin.\"";
const char* const kCompleted = "ztLogText \"// KORUSuite> Artifact template removal completed!\"";

// Each case changes a run that would complete: two channels of 300 samples
// at 1000 Hz, ten occurrences, 5 ms before and 10 ms after, A = 10, K = 2.
struct ExitCase {
    const char* name;
    const char* report;  // the last log line or message box
    bool result;
    Reached reached;
    const char* integers = "2 5 10 10 2";
    void (*change)(WholeRun&) = [](WholeRun&) {};
};

const ExitCase kExits[] = {
    {"OlderHost",
     "ztMessageBox \"Can not execute this plugin - LumatraZT version 1.8.3 or higher required.\"",
     false, Reached::Start, "", [](WholeRun& r) { r.host.version[2] = 2; }},
    {"NoDocument", "ztLogText \"// KORUSuite>  Could not get VMR!\"", false, Reached::Start, "",
     [](WholeRun& r) { r.host.hasDocument = false; }},
    {"NoInputChosen", kNoInput, false, Reached::Start, "",
     [](WholeRun& r) { r.host.files = {""}; }},
    {"InputPathShorterThanItsExtension", kNoInput, false, Reached::Start, "",
     [](WholeRun& r) { r.host.files = {"a.c"}; }},
    {"InputMissing", kCopyError, false, Reached::Start, "",
     [](WholeRun& r) { r.host.files[0] = r.folder.file("missing.ctc"); }},
    {"DiskFullDuringCopy", kCopyError, false, Reached::Start, "",
     [](WholeRun& r) { r.host.onLogLine = limitFrom("Creating the output", RLIMIT_FSIZE, 1500); }},
    {"DataTypeZero", "ztLogText \"// KORUSuite> Error reading CTC file. Exiting plugin.\"", true,
     Reached::Copy, "", [](WholeRun& r) { writeFileBytes(r.input(), std::string(40, '\0')); }},
    {"FileVersionZero",
     "ztLogText \"// KORUSuite> FileVersion 0: the data of this file cannot be accessed. "
     "Exiting plugin.\"",
     true, Reached::Copy, "", [](WholeRun& r) { r.writeInput(1000.0f, 0); }},
    // One block of one trial of 2 + 3 samples.
    {"Epoched",
     "ztLogText \"// KORUSuite> SampleOrdering 3 not supported, only 1 and 2. Exiting plugin.\"",
     true, Reached::Copy, "",
     [](WholeRun& r) {
         writeFileBytes(r.input(), bytesOfWords({1, 0, 1, 3, 1, 10, bitsOf(1000.0f), 1, 1, 2, 3, 0,
                                                 0, 0, 0, 0}));
     }},
    {"NoProtocolChosen",
     "ztLogText \"// KORUSuite> Protocol file not specified correctly. Exiting plugin.\"", false,
     Reached::Protocol, "", [](WholeRun& r) { r.host.files[1] = ""; }},
    {"ProtocolNotApplied",
     "ztLogText \"// KORUSuite> Protocol not applied to the current VMR/SRF. Exiting plugin.\"",
     true, Reached::Protocol, "", [](WholeRun& r) { r.host.protocolApplies = false; }},
    {"NoConditionChosen",
     "ztLogText \"// KORUSuite> Protocol condition not selected. Exiting plugin.\"", true,
     Reached::Protocol, "0"},
    {"ConditionBeyondTheProtocol",
     "ztMessageBox \"The selected protocol condition does not exist. Exiting plugin.\"", true,
     Reached::Protocol, "3"},
    {"NegativePreTriggerTime", kNegativeTime, true, Reached::Protocol, "2 -1 10"},
    {"NegativePostTriggerTime", kNegativeTime, true, Reached::Protocol, "2 5 -20"},
    {"WindowAtANegativeRate",
     "ztMessageBox \"The temporal window does not cover a valid number of samples at this "
     "sampling frequency. Exiting plugin.\"",
     true, Reached::Protocol, "2 5 10", [](WholeRun& r) { r.writeInput(-1000.0f); }},
    {"NoArtifactsPerSegment",
     "ztMessageBox \"Number of artifacts per segment must be at least 1. Exiting plugin.\"", true,
     Reached::Protocol, "2 5 10 0"},
    {"NoComponents", kBadComponents, true, Reached::Protocol, "2 5 10 10 0"},
    {"MoreComponentsThanArtifacts", kBadComponents, true, Reached::Protocol, "2 5 10 10 11"},
    {"TooFewOccurrences",
     "ztMessageBox \"Too few artifact examples to cover the OBS segment!\\nYou may try with a "
     "smaller OBS segment. Exiting plugin.\"",
     true, Reached::Protocol, "2 5 10 30 3"},
    // Windows of ten million samples for 300 occurrences: 3e9 elements per
    // array, more than the array routines can count.
    {"WorkStorageBeyondTheArrayCounts",
     "ztMessageBox \"OBS segment and temporal window too large for the OBS work storage!\\nYou "
     "may try with a smaller OBS segment or window. Exiting plugin.\"",
     true, Reached::Protocol, "2 5000 5000 300 3",
     [](WholeRun& r) { occurrencesAtEverySample(r, 1000000.0f); }},
#ifndef OBS_HAS_ADDRESS_SANITIZER  // which reserves more address space than this
    // 300 windows of half a million samples need about 3 GB of work storage,
    // refused with 1 GB of address space before anything is allocated.
    {"WorkStorageBeyondTheAvailableMemory",
     "ztMessageBox \"Not enough memory for the OBS work storage!\\nYou may try with a smaller "
     "OBS segment or window. Exiting plugin.\"",
     true, Reached::Protocol, "2 2500 2500 300 3",
     [](WholeRun& r) {
         occurrencesAtEverySample(r, 100000.0f);
         r.host.onLogLine = limitFrom("Creating the output", RLIMIT_AS, 1000000000);
     }},
#endif
    // Interleaved windows reach the file only at the close.
    {"WritesLostAtTheClose",
     "ztLogText \"// KORUSuite> Error closing the output file: not all corrected data reached "
     "the disk. Exiting plugin.\"",
     false, Reached::Correction, "2 5 10 10 2",
     [](WholeRun& r) {
         r.writeInput(1000.0f, 1, 2);
         r.host.onLogLine = limitFrom("Closing", RLIMIT_FSIZE, 40);
     }},
    {"Completed", "ztLogText \" \"", true, Reached::Correction},
};

TEST_F(WholeRun, EveryExitReportsItsResultAndLeavesItsOutput) {
    for (const ExitCase& exit : kExits) {
        SCOPED_TRACE(exit.name);
        std::filesystem::remove(output());
        host = HostScript();
        writeInput();
        answer(positionsFrom(10, 20, 25), exit.integers);
        exit.change(*this);
        const std::string inputBytes = readFileBytes(input());
        const Calls calls = runPlugin(host);
        EXPECT_EQ(calls.back(), exit.result ? "execute -> true" : "execute -> false");
        EXPECT_EQ(lastReport(calls), exit.report);
        const bool completes = exit.result && exit.reached == Reached::Correction;
        EXPECT_EQ(callsStartingWith(calls, kCompleted).size(), completes ? 1u : 0u);
        expectBusyOffAtDialogsAndEnd(calls);
        EXPECT_EQ(callsStartingWith(calls, "ztGetOpenFileName \"Please select the protocol").size(),
                  exit.reached >= Reached::Protocol ? 1u : 0u);
        EXPECT_EQ(readFileBytes(input()), inputBytes) << "the input is never touched";
        EXPECT_EQ(std::filesystem::exists(output()), exit.reached != Reached::Start);
        if (exit.reached == Reached::Copy || exit.reached == Reached::Protocol) {
            EXPECT_EQ(readFileBytes(output()), inputBytes);
        }
    }
}

std::string quotedPath(const std::string& path) {
    return "\"" + path + "\"";
}

// Header lines, questions with their defaults and bounds (the default for A
// above its maximum with ten occurrences), busy indicator, segment count and
// progress lines of a complete run, in order.
TEST_F(WholeRun, CompleteRunMakesExactlyTheseHostCalls) {
    writeInput();
    answer(positionsFrom(10, 20, 25), "2 5 10 10 2");
    const Calls expected = {
        "ztGetVersionOfLumatraZT",
        "ztShowLogTab",
        "ztLogText \" \"",
        "ztLogText \"// KORUSuite> Running EEG/MEG plugin (Artifact template removal with OBS "
        "method) ...\"",
        "ztGetCurrentVMR -> document",
        "ztGetOpenFileName \"Please select the file with input data set:\" \"\" \"*.ctc\" -> 1 " +
            quotedPath(input()),
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Creating the output file ...\"",
        "ztUpdateActiveWindow",
        "ztStopBusyCursor",
        "ztLogText \"// KORUSuite> Accessing data ...\"",
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Reading OK.\"",
        "ztLogText \"// KORUSuite> FileVersion: 1\"",
        "ztLogText \"// KORUSuite> CompressionType: 0\"",
        "ztLogText \"// KORUSuite> NrOfCompressionParams: 0\"",
        "ztLogText \"// KORUSuite> DataType: 1\"",
        "ztLogText \"// KORUSuite> Number of channels : 2\"",
        "ztLogText \"// KORUSuite> Sampling frequency [Hz] : 1000.000000\"",
        "ztLogText \"// KORUSuite> Number of samples : 300\"",
        "ztLogText \"// KORUSuite> Total data segment duration [min] : 0.005000\"",
        "ztLogText \"// KORUSuite> Total data segment duration [msec] : 300\"",
        "ztStopBusyCursor",
        "ztGetOpenFileName \"Please select the protocol file with artifact timing information:\" "
        "\"\" \"*.prt\" -> 1 " +
            quotedPath(folder.file("artifacts.prt")),
        "ztLogText \"// KORUSuite> Accessing protocol information ...\"",
        "ztShowBusyCursor",
        "ztClearProtocol",
        "ztLoadProtocol " + quotedPath(folder.file("artifacts.prt")),
        "ztGetProtocol -> 1",
        "ztLogText \"// KORUSuite> Experiment Name : Gradient run\"",
        "ztLogText \"// KORUSuite> Number of conditions : 2\"",
        "ztGetProtocolCondition 0",
        "ztLogText \"// KORUSuite>>> Condition n.1 : Rest\"",
        "ztLogText \"// KORUSuite>>>>> Nr. of trials : 1\"",
        "ztGetProtocolCondition 1",
        "ztLogText \"// KORUSuite>>> Condition n.2 : Scan\"",
        "ztLogText \"// KORUSuite>>>>> Nr. of trials : 10\"",
        "ztStopBusyCursor",
        "ztGetIntegerInput \"Please select the condition with the artifact triggers:\" 2 1 2 -> 2",
        "ztGetIntegerInput \"Temporal window definition:\\nPlease enter pre-trigger time [ms]:\" "
        "500 0 5000 -> 5",
        "ztGetIntegerInput \"Temporal window definition:\\nPlease enter post-trigger time [ms]:\" "
        "1200 0 5000 -> 10",
        "ztShowBusyCursor",
        "ztGetProtocolCondition 1",
        "ztStopBusyCursor",
        "ztGetIntegerInput \"OBS Settings (1).\\nPlease enter number of artifacts per segment:\" "
        "100 10 10 -> 10",
        "ztGetIntegerInput \"OBS Settings (2).\\nPlease enter number of desired PCs to keep in "
        "OBS:\" 3 1 10 -> 2",
        "ztShowBusyCursor",
        "ztLogText \"// KORUSuite> Resulting number of segments: 1\"",
        "ztUpdateActiveWindow",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite>>>>>> Processing segment 1/1 of channel 1 / 2  ...\"",
        "ztUpdateActiveWindow",
        "zt_intel_matrix_matrix_mult_d 10 10 16 0 1",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite>>>>>> Processing segment 1/1 of channel 2 / 2  ...\"",
        "ztUpdateActiveWindow",
        "zt_intel_matrix_matrix_mult_d 10 10 16 0 1",
        "ztLogText \"\"",
        "ztLogText \"\"",
        "ztLogText \"// KORUSuite> Closing the output file ...\"",
        "ztUpdateActiveWindow",
        "ztStopBusyCursor",
        "ztLogText \"// KORUSuite> Artifact template removal completed!\"",
        "ztLogText \" \"",
        "execute -> true",
    };
    EXPECT_EQ(runPlugin(host), expected);
}

// The default window at two rates: the duration lines of the header, and the
// window length as the inner dimension of the host's product.
TEST_F(WholeRun, HeaderDurationsAndWindowLengthsFollowTheRate) {
    struct RateCase {
        float frequency;
        int samples;
        const char* minutes;
        const char* milliseconds;
        const char* product;
    };
    const RateCase cases[] = {
        {1000.0f, 300000, "5.000000", "300000", "zt_intel_matrix_matrix_mult_d 10 10 1701 0 1"},
        {256.0f, 1000, "0.065104", "3906", "zt_intel_matrix_matrix_mult_d 10 10 436 0 1"},
    };
    for (const RateCase& c : cases) {
        SCOPED_TRACE(c.frequency);
        writeTestRecording(input(), recording(c.frequency, c.samples, 1));
        answer(positionsFrom(10, 3, 4), "2 500 1200 10 3");
        const Calls calls = runPlugin(host);
        const std::string duration = "ztLogText \"// KORUSuite> Total data segment duration ";
        EXPECT_EQ(callsStartingWith(calls, duration + "[min] : " + c.minutes + "\"").size(), 1u);
        EXPECT_EQ(callsStartingWith(calls, duration + "[msec] : " + c.milliseconds + "\"").size(),
                  1u);
        EXPECT_EQ(callsStartingWith(calls, "zt_intel").at(0), c.product);
        EXPECT_EQ(calls.back(), "execute -> true");
    }
}

// Below ten occurrences the minimum for A lies above its maximum; the
// question is asked as computed and an A above N ends the run.
TEST_F(WholeRun, QuestionsCarryClashingBoundsAsComputed) {
    writeInput();
    answer(positionsFrom(5, 20, 25), "2 5 10 6 2");
    const Calls calls = runPlugin(host);
    const Calls questions = callsStartingWith(calls, "ztGetIntegerInput \"OBS");
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].substr(questions[0].rfind('"')), "\" 100 10 5 -> 6");
    EXPECT_EQ(questions[1].substr(questions[1].rfind('"')), "\" 3 1 6 -> 2");
    EXPECT_EQ(lastReport(calls).rfind("ztMessageBox \"Too few artifact examples", 0), 0u);
}

// Sample numbers become microseconds in general notation; microseconds are
// repeated; a condition without intervals empties the list. Each run ends at
// the segment check (A above N), after the list is written.
TEST_F(WholeRun, TrialListInBothTimeUnits) {
    struct TrialListCase {
        int32_t timeUnit;
        std::vector<int32_t> positions;
        const char* text;
    };
    const TrialListCase cases[] = {
        {1,
         {1, 501, 1001, 500001, 1234568, 0},
         "0 Scan\r\n500000 Scan\r\n1e+006 Scan\r\n5e+008 Scan\r\n1.23457e+009 Scan\r\n"
         "-1000 Scan\r\n"},
        {2, {1500000, 20, 7}, "1500000 Scan\r\n20 Scan\r\n7 Scan\r\n"},
        {1, {}, ""},
    };
    writeInput();
    for (const TrialListCase& c : cases) {
        answer(c.positions, "2 5 10 10 3");
        host.timeUnit = c.timeUnit;
        EXPECT_EQ(runPlugin(host).back(), "execute -> true");
        EXPECT_EQ(readFileBytes(folder.file("in_Scan.trl")), c.text);
    }
}

// Positions in microseconds at 1000 Hz give the windows that the same
// positions in samples give. A trial list that cannot be written does not
// keep the run from completing.
TEST_F(WholeRun, MicrosecondPositionsPlaceTheWindowsLikeSampleNumbers) {
    writeTestRecording(input(), recording(1000.0f, 600));
    std::filesystem::create_directory(folder.file("in_Scan.trl"));
    answer(positionsFrom(10, 40000, 50000), "2 5 10 10 2");
    host.timeUnit = 2;
    ASSERT_EQ(runPlugin(host).back(), "execute -> true");
    const std::string fromMicroseconds = readFileBytes(output());
    EXPECT_NE(fromMicroseconds, readFileBytes(input()));
    answer(positionsFrom(10, 40, 50), "2 5 10 10 2");
    host.timeUnit = 1;
    runPlugin(host);
    EXPECT_EQ(readFileBytes(output()), fromMicroseconds);
}

// The module keeps nothing between runs: a second run repeats the first.
TEST_F(WholeRun, ConsecutiveRunsGiveTheSameResult) {
    writeInput();
    answer(positionsFrom(10, 20, 25), "2 5 10 10 2");
    const Calls first = runPlugin(host);
    const std::string firstOutput = readFileBytes(output());
    EXPECT_NE(firstOutput, readFileBytes(input()));
    EXPECT_EQ(runPlugin(host), first);
    EXPECT_EQ(readFileBytes(output()), firstOutput);
}

}  // namespace
