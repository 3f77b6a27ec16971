#pragma once

#include "run/run_state.h"

// Artifacts per segment and components kept, checked against the
// occurrences and the memory the correction needs.
StepOutcome askObsSettings(RunState& run);
