#pragma once

// Checks the answers given on the command line against the bounds the
// plug-in will ask with, before the run starts. Bounds that depend on the
// protocol (condition, artifacts per segment) are checked when the protocol
// named on the command line can be read; otherwise the run reports it.

#include <string>
#include <vector>

#include "hostprogram/cli/options.h"
#include "run/dialogue_bounds.h"

// One message per answer that is out of bounds or unusable; empty when all fit.
std::vector<std::string> checkGivenAnswers(const DialogAnswers& given);
