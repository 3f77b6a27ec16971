#pragma once

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"

// Converts the recording options.infoPaths[0] into options.infoPaths[1], in
// the format of the second's extension. kExitUsage when a name is not a
// recording's or the output would overwrite the input, kExitFailed when a
// file cannot be read or written (no output is then left).
ExitStatus convertCommand(const Options& options);
