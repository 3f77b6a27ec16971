#pragma once

#include "run/run_state.h"

// The protocol applied to the current document and the condition that holds
// the artifact triggers.
StepOutcome chooseCondition(RunState& run);
