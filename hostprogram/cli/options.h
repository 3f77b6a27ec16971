#pragma once

// The command line of LumatraZT, parsed into one plain structure.

#include <optional>
#include <string>
#include <vector>

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/product_kind.h"

enum class Command { kRun, kDemo, kGenerate, kInfo, kConvert, kDetectR, kAbout, kHelp, kVersion };

// The settings of the demo recording (and of the generate command's).
struct DemoSettings {
    std::string directory = "koru-demo";
    int channelCount = 32;
    double samplingRate = 500.0;  // Hz
    double durationSeconds = 200.0;
    unsigned seed = 1;
    bool ecgChannel = false;  // an in-scanner ECG as one more channel, the last
    // Only the generate command writes other layouts than the demo's.
    std::string name = "recording";  // file stem
    int sampleOrdering = 1;
    int dataType = 1;
    // The recording's extension without its dot; the sample ordering and
    // data type above are CTC's alone.
    std::string format = "ctc";
};

struct ReportSettings {
    std::string path;           // empty: no report
    std::vector<int> channels;  // one-based; empty: the first four channels
    int occurrence = 0;         // one-based; 0: the middle occurrence
    double traceSeconds = 6.0;  // length of the trace around the occurrence
    // The stretch of ECG drawn with its detected beats.
    double ecgFromSeconds = -1.0;  // negative: where the first implausible interval is
    double ecgSeconds = 10.0;
};

// The answers of the plug-in's dialogues; an empty optional is asked at the
// terminal or, without one, takes its default (numbers) or cancels (files).
struct DialogAnswers {
    std::optional<std::string> inputPath;
    std::optional<std::string> protocolPath;
    std::optional<std::string> condition;  // a number from 1, or a condition name
    std::optional<int> preMilliseconds;
    std::optional<int> postMilliseconds;
    std::optional<int> artifactsPerSegment;
    std::optional<int> componentsToKeep;
};

struct Options {
    Command command = Command::kRun;
    DialogAnswers answers;
    std::string modulePath;  // empty: the module beside the executable
    std::string logPath;     // empty: no log file
    bool batch = false;      // never read answers from standard input
    ProductKind product = ProductKind::kBlas;
    int blasThreads = 0;   // 0: the host's default
    bool timings = false;  // print where the run's time went
    ReportSettings report;
    DemoSettings demo;
    std::vector<std::string>
        infoPaths;                 // info: the files; convert: input and output; detect-r: input
    bool json = false;             // info: one JSON object per file
    std::string exclude;           // info and runs: channels never corrected (empty: none)
    std::string ecgChannel;        // runs and detect-r: the ECG channel (empty: none)
    std::string triggerListPath;   // detect-r: where the beats go (empty: beside the input)
    std::string unit = "\u00b5V";  // info and convert: the unit of CTC samples
};

// Fills options from the command line. Returns kExitCompleted when the
// command should go ahead, kExitUsage (after a message on standard error)
// when the command line is wrong.
ExitStatus parseCommandLine(int argc, const char* const* argv, Options& options);

// Prints "LumatraZT: <message>" and the hint to the help on standard error,
// as for every usage error; for those a command finds after the parse.
ExitStatus reportUsageError(const std::string& message);
