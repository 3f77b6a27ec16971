#pragma once

// The run's questions to the host: the default answer of each and the bounds
// it is asked with. The host program checks answers given on its command line
// against the same values and prints them in its help.

#include <cstdint>

// The temporal window around each trigger, in milliseconds.
constexpr int32_t kDefaultPreMilliseconds = 500;
constexpr int32_t kDefaultPostMilliseconds = 1200;
constexpr int32_t kWindowMillisecondsMinimum = 0;
constexpr int32_t kWindowMillisecondsMaximum = 5000;

// Occurrences per OBS segment: from this minimum to the condition's
// occurrence count.
constexpr int32_t kDefaultArtifactsPerSegment = 100;
constexpr int32_t kArtifactsPerSegmentMinimum = 10;

// Principal components kept: from this minimum to the artifacts per segment.
constexpr int32_t kDefaultComponentsToKeep = 3;
constexpr int32_t kComponentsToKeepMinimum = 1;
