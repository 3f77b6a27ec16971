// Whole runs of the plug-in module, with this test executable as the host:
// every exit with its report, result and what it leaves on disk, the exact
// calls of a complete run, the questions, the trial list, and consecutive
// runs.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "obs_test_support.h"
#include "run_test_host.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORU_HAS_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(KORU_HAS_ADDRESS_SANITIZER)
#define KORU_HAS_ADDRESS_SANITIZER 1
#endif

namespace {

using Calls = std::vector<std::string>;

Calls callsStartingWith(const Calls& calls, const std::string& prefix) {
    Calls found;
    for (const std::string& call : calls)
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
}

// The last log line or message box before the run ended.
std::string lastReport(const Calls& calls) {
    for (auto call = calls.rbegin(); call != calls.rend(); ++call)
        if (call->rfind("ztLogText", 0) == 0 || call->rfind("ztMessageBox", 0) == 0) return *call;
    return "";
}

class WholeRun : public ::testing::Test {
public:
    // Two channels of `samples` with values that vary.
    void writeInput(float frequency = 1000.0f, int samples = 300, uint32_t version = 1,
                    uint32_t ordering = 1) {
        TestRecording recording{version, ordering, frequency, {}};
        recording.channels.assign(2, std::vector<float>(static_cast<std::size_t>(samples)));
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t s = 0; s < recording.channels[c].size(); ++s)
                recording.channels[c][s] = static_cast<float>((s * 37 + c * 11) % 23 + 5 * c);
        writeTestRecording(input(), recording);
    }

    std::string input() const { return folder.file("in.ctc"); }
    std::string output() const { return folder.file("in_OBS.ctc"); }

    // Answers every question: the input, a protocol with the conditions
    // "Rest" (one interval) and "Scan" (at `positions`), then the integers
    // (condition, pre- and post-trigger time, A, K).
    void answer(const std::vector<int32_t>& positions, const std::string& integers) {
        host.files = {input(), folder.file("artifacts.prt")};
        host.conditions = {{"Rest", {7}}, {"Scan", positions}};
        host.integers.clear();
        std::istringstream numbers(integers);
        for (int number = 0; numbers >> number;) host.integers.push_back(number);
    }

    TemporaryFolder folder;
    HostScript host;
};

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

// How far a run got before it ended: what it leaves on disk, and whether it
// asked for the protocol.
enum class Reached { Start, Copy, Protocol, Correction };

// The run's last report when it gives up: a log line or a message box.
std::string loggedExit(const std::string& text) {
    return "ztLogText \"// KORUSuite> " + text + " Exiting plugin.\"";
}
std::string boxedExit(const std::string& text) {
    return "ztMessageBox \"" + text + " Exiting plugin.\"";
}

const std::string kCopyError = loggedExit("Error creating the output file.");
const std::string kNoInput = loggedExit("Data file not selected correctly.");
const std::string kBadComponents =
    boxedExit("Number of PCs to keep must lie between 1 and the number of artifacts per segment.");
const std::string kNegativeTime =
    boxedExit("Pre-trigger and post-trigger times must not be negative.");
const std::string kStorage =
    " for the OBS work storage!\\nYou may try with a smaller OBS segment or window.";
const char* const kCompleted = "ztLogText \"// KORUSuite> Artifact template removal completed!\"";

// Each case changes a run that would complete: two channels of 300 samples
// at 1000 Hz, ten occurrences, 5 ms before and 10 ms after, A = 10, K = 2.
struct ExitCase {
    const char* name;
    std::string report;  // the last log line or message box
    bool result;
    Reached reached;
    void (*change)(WholeRun&) = nullptr;
    const char* integers = "2 5 10 10 2";
};

const ExitCase kExits[] = {
    {"OlderHost",
     "ztMessageBox \"Can not execute this plugin - LumatraZT version 1.8.3 or higher required.\"",
     false, Reached::Start, [](WholeRun& r) { r.host.version[2] = 2; }},
    {"NoDocument", "ztLogText \"// KORUSuite>  Could not get VMR!\"", false, Reached::Start,
     [](WholeRun& r) { r.host.hasDocument = false; }},
    {"NoInputChosen", kNoInput, false, Reached::Start, [](WholeRun& r) { r.host.files = {""}; }},
    {"InputPathShorterThanItsExtension", kNoInput, false, Reached::Start,
     [](WholeRun& r) { r.host.files = {"a.c"}; }},
    {"InputMissing", kCopyError, false, Reached::Start,
     [](WholeRun& r) { r.host.files[0] = r.folder.file("missing.ctc"); }},
    {"DiskFullDuringCopy", kCopyError, false, Reached::Start,
     [](WholeRun& r) { r.host.onLogLine = limitFrom("Creating the output", RLIMIT_FSIZE, 1500); }},
    {"DataTypeZero", loggedExit("Error reading CTC file."), true, Reached::Copy,
     [](WholeRun& r) { writeFile(r.input(), std::string(40, '\0')); }},
    {"FileVersionZero", loggedExit("FileVersion 0: the data of this file cannot be accessed."),
     true, Reached::Copy, [](WholeRun& r) { r.writeInput(1000.0f, 300, 0); }},
    // One block of one trial of 2 + 3 samples.
    {"Epoched", loggedExit("SampleOrdering 3 not supported, only 1 and 2."), true, Reached::Copy,
     [](WholeRun& r) {
         writeFile(r.input(),
                   bytesOfWords({1, 0, 1, 3, 1, 10, bitsOf(1000.0f), 1, 1, 2, 3, 0, 0, 0, 0, 0}));
     }},
    {"NoProtocolChosen", loggedExit("Protocol file not specified correctly."), false,
     Reached::Protocol, [](WholeRun& r) { r.host.files[1] = ""; }},
    {"ProtocolNotApplied", loggedExit("Protocol not applied to the current VMR/SRF."), true,
     Reached::Protocol, [](WholeRun& r) { r.host.protocolApplies = false; }},
    {"NoConditionChosen", loggedExit("Protocol condition not selected."), true, Reached::Protocol,
     nullptr, "0"},
    {"ConditionBeyondTheProtocol", boxedExit("The selected protocol condition does not exist."),
     true, Reached::Protocol, nullptr, "3"},
    {"NegativePreTriggerTime", kNegativeTime, true, Reached::Protocol, nullptr, "2 -1 10"},
    {"NegativePostTriggerTime", kNegativeTime, true, Reached::Protocol, nullptr, "2 5 -20"},
    {"WindowAtANegativeRate",
     boxedExit("The temporal window does not cover a valid number of samples at this sampling "
               "frequency."),
     true, Reached::Protocol, [](WholeRun& r) { r.writeInput(-1000.0f); }, "2 5 10"},
    {"NoArtifactsPerSegment", boxedExit("Number of artifacts per segment must be at least 1."),
     true, Reached::Protocol, nullptr, "2 5 10 0"},
    {"NoComponents", kBadComponents, true, Reached::Protocol, nullptr, "2 5 10 10 0"},
    {"MoreComponentsThanArtifacts", kBadComponents, true, Reached::Protocol, nullptr,
     "2 5 10 10 11"},
    {"TooFewOccurrences",
     boxedExit("Too few artifact examples to cover the OBS segment!\\nYou may try with a smaller "
               "OBS segment."),
     true, Reached::Protocol, nullptr, "2 5 10 30 3"},
    // Windows of ten million samples for 300 occurrences: 3e9 elements per
    // array, more than the array routines can count.
    {"WorkStorageBeyondTheArrayCounts",
     boxedExit("OBS segment and temporal window too large" + kStorage), true, Reached::Protocol,
     [](WholeRun& r) {
         r.writeInput(1000000.0f);
         r.host.conditions[1].second = positionsFrom(300, 1, 1);
     },
     "2 5000 5000 300 3"},
#ifndef KORU_HAS_ADDRESS_SANITIZER  // which reserves more address space than this
    // 300 windows of half a million samples need about 3 GB of work storage,
    // refused with 1 GB of address space before anything is allocated.
    {"WorkStorageBeyondTheAvailableMemory", boxedExit("Not enough memory" + kStorage), true,
     Reached::Protocol,
     [](WholeRun& r) {
         r.writeInput(100000.0f);
         r.host.conditions[1].second = positionsFrom(300, 1, 1);
         r.host.onLogLine = limitFrom("Creating the output", RLIMIT_AS, 1000000000);
     },
     "2 2500 2500 300 3"},
#endif
    // Interleaved windows reach the file only at the close.
    {"WritesLostAtTheClose",
     loggedExit("Error closing the output file: not all corrected data reached the disk."), false,
     Reached::Correction,
     [](WholeRun& r) {
         r.writeInput(1000.0f, 300, 1, 2);
         r.host.onLogLine = limitFrom("Closing", RLIMIT_FSIZE, 40);
     },
     "2 5 10 10 2"},
    // A window transfer that fails (the output cut short in the second of
    // three segments) stops the correction at once: no later segment is processed.
    {"TransferFailsDuringCorrection",
     loggedExit("Error reading or writing the output file during correction."), false,
     Reached::Correction,
     [](WholeRun& r) {
         r.host.conditions[1].second = positionsFrom(30, 20, 9);
         r.host.onLogLine = [&r, cut = false](const std::string& line) mutable {
             EXPECT_FALSE(cut && line.find("Processing") != std::string::npos) << line;
             if (line.find("segment 2/3 of channel 1 ") != std::string::npos)
                 cut = truncate(r.output().c_str(), 32) == 0;
         };
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
        if (exit.change) exit.change(*this);
        const std::string inputBytes = readFile(input());
        const Calls calls = runPlugin(host);
        EXPECT_EQ(calls.back(), exit.result ? "execute -> true" : "execute -> false");
        EXPECT_EQ(lastReport(calls), exit.report);
        const bool completes = exit.result && exit.reached == Reached::Correction;
        EXPECT_EQ(callsStartingWith(calls, kCompleted).size(), completes ? 1u : 0u);
        // The busy indicator is off at every dialog and message box and when the run ends.
        bool busy = false;
        for (const std::string& call : calls) {
            if (call == "ztShowBusyCursor") busy = true;
            if (call == "ztStopBusyCursor") busy = false;
            for (const char* waiting : {"ztGetOpenFileName", "ztGetIntegerInput", "ztMessageBox"})
                EXPECT_FALSE(busy && call.rfind(waiting, 0) == 0) << call;
            EXPECT_FALSE(busy && call.rfind("execute", 0) == 0);
        }
        EXPECT_EQ(callsStartingWith(calls, "ztGetOpenFileName \"Please select the protocol").size(),
                  exit.reached >= Reached::Protocol ? 1u : 0u);
        EXPECT_EQ(readFile(input()), inputBytes) << "the input is never touched";
        EXPECT_EQ(std::filesystem::exists(output()), exit.reached != Reached::Start);
        if (exit.reached == Reached::Copy || exit.reached == Reached::Protocol) {
            EXPECT_EQ(readFile(output()), inputBytes);
        }
    }
}

// Header lines, questions with their defaults and bounds (the default for A
// above its maximum with ten occurrences), segment count, progress lines and
// products of a complete run, in order.
TEST_F(WholeRun, CompleteRunLogsAndAsksExactlyThis) {
    writeInput();
    answer(positionsFrom(10, 20, 25), "2 5 10 10 2");
    const std::string log = "ztLogText \"// KORUSuite>", ask = "ztGetIntegerInput \"";
    const std::string product = "zt_intel_matrix_matrix_mult_d 10 10 16 0 1";
    const Calls expected = {
        log + " Running EEG/MEG plugin (Artifact template removal with OBS method) ...\"",
        "ztGetOpenFileName \"Please select the file with input data set:\" \"\" \"*.ctc\" -> 1 \"" +
            input() + "\"",
        log + " Creating the output file ...\"",
        log + " Accessing data ...\"",
        log + " Reading OK.\"",
        log + " FileVersion: 1\"",
        log + " CompressionType: 0\"",
        log + " NrOfCompressionParams: 0\"",
        log + " DataType: 1\"",
        log + " Number of channels : 2\"",
        log + " Sampling frequency [Hz] : 1000.000000\"",
        log + " Number of samples : 300\"",
        log + " Total data segment duration [min] : 0.005000\"",
        log + " Total data segment duration [msec] : 300\"",
        "ztGetOpenFileName \"Please select the protocol file with artifact timing information:\" "
        "\"\" \"*.prt\" -> 1 \"" +
            folder.file("artifacts.prt") + "\"",
        log + " Accessing protocol information ...\"",
        log + " Experiment Name : Gradient run\"",
        log + " Number of conditions : 2\"",
        log + ">> Condition n.1 : Rest\"",
        log + ">>>> Nr. of trials : 1\"",
        log + ">> Condition n.2 : Scan\"",
        log + ">>>> Nr. of trials : 10\"",
        ask + "Please select the condition with the artifact triggers:\" 2 1 2 -> 2",
        ask + "Temporal window definition:\\nPlease enter pre-trigger time [ms]:\" 500 0 5000 -> 5",
        ask +
            "Temporal window definition:\\nPlease enter post-trigger time [ms]:\" 1200 0 5000 -> "
            "10",
        ask + "OBS Settings (1).\\nPlease enter number of artifacts per segment:\" 100 10 10 -> 10",
        ask +
            "OBS Settings (2).\\nPlease enter number of desired PCs to keep in OBS:\" 3 1 10 -> 2",
        log + " Resulting number of segments: 1\"",
        log + ">>>>> Processing segment 1/1 of channel 1 / 2  ...\"",
        product,
        log + ">>>>> Processing segment 1/1 of channel 2 / 2  ...\"",
        product,
        log + " Closing the output file ...\"",
        log + " Artifact template removal completed!\"",
    };
    Calls reported;
    for (const std::string& call : runPlugin(host))
        for (const std::string& kind : {log, ask, std::string("ztGetOpenFileName"), product})
            if (call.rfind(kind, 0) == 0) reported.push_back(call);
    EXPECT_EQ(reported, expected);
}

// Sample numbers become microseconds in general notation; microseconds are
// repeated; a condition without intervals empties the list. Below ten
// occurrences the minimum for A lies above its maximum N: the question is
// asked as computed, and the A of 7 above N ends each run after the list is
// written.
TEST_F(WholeRun, TrialListInBothTimeUnitsAndClashingBounds) {
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
        answer(c.positions, "2 5 10 7 2");
        host.timeUnit = c.timeUnit;
        const Calls calls = runPlugin(host);
        EXPECT_EQ(readFile(folder.file("in_Scan.trl")), c.text);
        const Calls questions = callsStartingWith(calls, "ztGetIntegerInput \"OBS");
        ASSERT_EQ(questions.size(), 2u);
        EXPECT_EQ(questions[0].substr(questions[0].rfind('"')),
                  "\" 100 10 " + std::to_string(c.positions.size()) + " -> 7");
        EXPECT_EQ(questions[1].substr(questions[1].rfind('"')), "\" 3 1 7 -> 2");
        EXPECT_EQ(lastReport(calls).rfind("ztMessageBox \"Too few artifact examples", 0), 0u);
        EXPECT_EQ(calls.back(), "execute -> true");
    }
}

// The module keeps nothing between runs: a second run repeats the first.
// Positions in microseconds at 1000 Hz then give the windows that the same
// positions in samples gave, and a trial list that cannot be written does
// not keep that run from completing.
TEST_F(WholeRun, ConsecutiveRunsAndMicrosecondPositionsGiveTheSameResult) {
    writeInput(1000.0f, 600);
    answer(positionsFrom(10, 40, 50), "2 5 10 10 2");
    const Calls first = runPlugin(host);
    const std::string firstOutput = readFile(output());
    EXPECT_EQ(runPlugin(host), first);
    EXPECT_EQ(readFile(output()), firstOutput);

    std::filesystem::remove(folder.file("in_Scan.trl"));
    std::filesystem::create_directory(folder.file("in_Scan.trl"));
    answer(positionsFrom(10, 40000, 50000), "2 5 10 10 2");
    host.timeUnit = 2;
    EXPECT_EQ(runPlugin(host).back(), "execute -> true");
    EXPECT_EQ(readFile(output()), firstOutput);
}

}  // namespace
