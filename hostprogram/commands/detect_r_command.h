#pragma once

// detect-r: the R-peaks of a recording's ECG channel as a trigger list that
// -p reads, with a summary of what was found for the user to check (and an
// HTML report of it with -r).

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"

// 0 when beats were written; 1 when the recording or channel cannot be read,
// the channel is flat or missing, or it gives fewer beats than one segment
// needs (the reason on standard error), or the list cannot be written.
ExitStatus detectRCommand(const Options& options);
