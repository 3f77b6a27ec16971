#pragma once

// A recording as the host program sees it, whatever its file format: channels
// with names, units and rates, markers at zero-based sample numbers, and
// samples read and written in blocks, in each channel's physical unit. The
// readers of each format fill these plain structs from a header parsed in one
// pass; nothing past them sees a format's raw text.

#include <cstdint>
#include <string>
#include <vector>

enum class RecordingFormat { kCtc, kBrainVision, kEdf, kBdf };

struct RecordingChannel {
    std::string name;
    std::string unit;              // UTF-8 as the file means it: "µV", "mV", "V", "nV"
    double samplingFrequency = 0;  // Hz
};

struct RecordingMarker {
    std::string type;         // "Stimulus", "Response", ...; empty for EDF+ annotations
    std::string description;  // "S  1", "R128", or the annotation's text
    int64_t sample = 0;       // zero-based, at the recording's main rate
    int64_t duration = 1;     // in samples; 0 where a BrainVision marker has size 0
};

struct RecordingInfo {
    RecordingFormat format = RecordingFormat::kCtc;
    double samplingFrequency = 0;  // the main rate, Hz
    int64_t samples = 0;           // samples per channel at the main rate
    std::vector<RecordingChannel> channels;
    std::vector<RecordingMarker> markers;
};
