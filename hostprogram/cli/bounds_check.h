#pragma once

// Checks the answers given on the command line against the bounds the
// plug-in will ask with, before the run starts. Bounds that depend on the
// protocol (condition, artifacts per segment) are checked when the protocol
// named on the command line can be read; otherwise the run reports it.

#include <string>
#include <vector>

#include "hostprogram/cli/options.h"

// The plug-in's fixed bounds and defaults.
constexpr int kWindowMillisecondsMaximum = 5000;
constexpr int kDefaultPreMilliseconds = 500;
constexpr int kDefaultPostMilliseconds = 1200;
constexpr int kArtifactsPerSegmentMinimum = 10;
constexpr int kDefaultArtifactsPerSegment = 100;
constexpr int kDefaultComponentsToKeep = 3;

// One message per answer that is out of bounds or unusable; empty when all fit.
std::vector<std::string> checkGivenAnswers(const DialogAnswers& given);
