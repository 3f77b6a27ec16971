#pragma once

#include <cstdio>
#include <string>

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/cli/options.h"
#include "hostprogram/recordings/ctc_reader.h"

// Describes every recording named: a CTC file by its header, the other
// formats by their channels and conditions; with --json one JSON object per
// file. kExitFailed when one could not be read (the others are still printed).
ExitStatus infoCommand(const Options& options);

void printCtcHeader(const std::string& path, const CtcHeader& header, std::FILE* out);
