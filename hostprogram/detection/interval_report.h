#pragma once

// What the user is told about the beats found: how many, the heart rate, and
// every interval that a heart is unlikely to have produced, so that a missed
// or a false beat can be checked before the correction relies on it.

#include <cstdint>
#include <string>
#include <vector>

enum class IntervalProblem { TooShort, TooLong, SuddenChange };

struct ImplausibleInterval {
    double startSeconds = 0.0;  // time of the beat that opens the interval
    double lengthSeconds = 0.0;
    IntervalProblem problem = IntervalProblem::TooShort;
};

struct IntervalReport {
    int64_t beats = 0;
    double meanRate = 0.0;  // beats per minute, over the whole span of beats
    double lowestRate = 0.0;
    double highestRate = 0.0;
    std::vector<ImplausibleInterval> implausible;
};

// Intervals under 0.3 s or over 2 s, or differing by more than 30 % from the
// median of their neighbours (two on each side), are implausible.
IntervalReport reportIntervals(const std::vector<int64_t>& peaks, double samplingFrequency);

// How many implausible intervals the text lists by time.
constexpr std::size_t kListedIntervals = 20;

// A few lines for the terminal: the figures, then the first
// kListedIntervals implausible intervals with their times.
std::string formatIntervalReport(const IntervalReport& report);
