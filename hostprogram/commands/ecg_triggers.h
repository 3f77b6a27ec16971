#pragma once

// The heartbeats of a recording, found in its own ECG channel, as the
// triggers of a run: the channel the user names (--ecg-channel) is read
// whole, its R-peaks are detected, and they become a condition of the
// protocol the plug-in is given. The ECG channel itself is never corrected.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/detection/interval_report.h"
#include "hostprogram/detection/r_peak_detector.h"
#include "hostprogram/protocols/marker_conditions.h"
#include "hostprogram/recordings/recording_source.h"

// The condition the detected beats become.
constexpr const char* kRPeakConditionName = "R-peaks (ECG)";

struct EcgTriggers {
    int channel = -1;  // info.channels index
    std::string channelName;
    std::string unit;
    double samplingFrequency = 0.0;
    std::vector<float> samples;
    RPeakDetection detection;
    IntervalReport intervals;
};

// Finds the channel asked for (its name as info lists it, or its number from
// 1), reads it and detects its R-peaks. False with error "<file>: ..." when
// the channel does not exist, is not at the recording's main rate or cannot be
// read. A channel without beats is not an error here.
bool detectEcgTriggers(RecordingSource& source, const std::string& asked, EcgTriggers& triggers,
                       std::string& error);

// detectEcgTriggers, and also false, with error "<file>: the ECG channel
// <name>: <why>", when the beats found cannot drive a run: a flat channel,
// no beats, or fewer than the smallest segment needs.
bool detectRunTriggers(RecordingSource& source, const std::string& asked, EcgTriggers& triggers,
                       std::string& error);

// What was found, for the terminal: the channel, the polarity, the beats and
// heart rate, and the implausible intervals with their times.
std::string formatEcgTriggers(const EcgTriggers& triggers);

// Adds the beats to conditions as their last condition, named
// kRPeakConditionName (made unique if a marker took it). Returns the name.
std::string addRPeakCondition(MarkerConditions& conditions, const std::vector<int64_t>& peaks);

// A trigger list that -p reads: one zero-based sample a line, after a
// comment saying where they came from. False with error naming the file.
bool writeTriggerList(const std::string& path, const EcgTriggers& triggers,
                      const std::string& recordingPath, std::string& error);
