#pragma once

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"

// Generates the example recording, its clean signal and its protocol in the
// demo folder, runs the plug-in on it with the default settings (or the
// answers given), prints the residual artifact power and writes the report.
ExitStatus demoCommand(const Options& options);
