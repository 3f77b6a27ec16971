#pragma once

#include "run/run_state.h"

// The last step: the correction in place, closing the output and reporting
// completion. Returns the result that execute returns.
bool correctAndClose(RunState& run);
