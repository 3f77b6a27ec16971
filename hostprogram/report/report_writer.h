#pragma once

// The report of a run: for the channels asked for, the average artifact
// window and a stretch of trace around one occurrence, before and after the
// correction, as an HTML page with SVG plots.

#include <string>
#include <utility>
#include <vector>

#include "hostprogram/cli/options.h"
#include "hostprogram/host/run_record.h"
#include "hostprogram/report/report_html.h"

struct ReportExtras {
    std::string cleanPath;  // a recording of the clean signal to draw as well (the demo's)
    std::string amplitudeLabel = "amplitude [as stored in the file]";
    std::vector<std::pair<std::string, std::string>> facts;
    // A run on another format: the plug-in worked on a temporary CTC copy of
    // some channels, so the files and channels are named as the user knows
    // them. Empty: the files the plug-in read and wrote, channels by number.
    std::string inputName;
    std::string outputName;
    std::vector<std::string> channelNames;  // per channel of the file the plug-in read
    std::vector<ReportSection> sections;    // after the channels' (the ECG's views)
};

// False with error when the run did not get far enough for a report (no
// input or no condition chosen) or a file cannot be read or written.
bool writeRunReport(const ReportSettings& settings, const RunRecord& record, std::string& error,
                    const ReportExtras& extras = ReportExtras());

// One line for a person: how a run with this exit status ended.
const char* describeExitStatus(ExitStatus status);
