#pragma once

#include "run/run_state.h"

// The input file, its checked copy as output, the opened output and its
// header in the log. Refuses files whose samples the correction cannot reach.
StepOutcome prepareOutputFile(RunState& run);
