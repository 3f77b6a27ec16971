#pragma once

// The marker file (.vmrk) of a BrainVision recording. Each entry
// Mk<n>=<type>,<description>,<position>,<size>,<channel>[,<date>] marks a
// 1-based position; the recording model counts samples from 0. A corrected
// copy keeps every marker entry as written, so the entries are kept as text
// beside the markers they give.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/recordings/recording.h"

struct BrainVisionMarkers {
    std::vector<RecordingMarker> markers;  // in the order of their numbers
    std::vector<std::string> entries;      // "Mk<n>=..." as written, in UTF-8, same order
};

// Parses a marker file's bytes for a recording of sampleCount samples.
// Refuses a first line that is not a BrainVision marker identification, an
// entry that is not Mk<n>=..., a position or size that is not a whole
// number, a position before 1 or after the last sample, and a number given
// twice. False with error "<path>: line N: <entry>: <expected>".
bool parseBrainVisionMarkers(const std::string& bytes, const std::string& path, int64_t sampleCount,
                             BrainVisionMarkers& markers, std::string& error);

// The condition a marker belongs to, named as MNE-Python names its
// annotations: "<type>/<description>" ("Stimulus/S  1", "New Segment/").
std::string brainVisionConditionName(const RecordingMarker& marker);

// Marker entries Mk1, Mk2, ... for markers of the recording model: the
// written form of what parseBrainVisionMarkers reads back.
std::vector<std::string> brainVisionMarkerEntries(const std::vector<RecordingMarker>& markers);
