#pragma once

// The report of a run: for the channels asked for, the average artifact
// window and a stretch of trace around one occurrence, before and after the
// correction, as an HTML page with SVG plots.

#include <string>
#include <utility>
#include <vector>

#include "hostprogram/cli/options.h"
#include "hostprogram/host/run_record.h"

struct ReportExtras {
    std::string cleanPath;  // a recording of the clean signal to draw as well (the demo's)
    std::string amplitudeLabel = "amplitude [as stored in the file]";
    std::vector<std::pair<std::string, std::string>> facts;
};

// False with error when the run did not get far enough for a report (no
// input or no condition chosen) or a file cannot be read or written.
bool writeRunReport(const ReportSettings& settings, const RunRecord& record, std::string& error,
                    const ReportExtras& extras = ReportExtras());

// One line for a person: how a run with this exit status ended.
const char* describeExitStatus(ExitStatus status);
