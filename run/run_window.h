#pragma once

#include "run/run_state.h"

// The window around each trigger, the trial list and the trigger list.
StepOutcome defineWindowAndTriggers(RunState& run);
