#pragma once

// Writing a BrainVision recording: the corrected copy of a BrainVision input
// and, later, conversions from other formats. The data are 32-bit floats,
// multiplexed, each channel in its own unit at resolution 1, so the copy
// keeps every sample as computed. The samples are appended in blocks; the
// header and the marker file are written when the last block is in, so an
// interrupted copy leaves no header that names missing data.
//
// Marker entries are given as text ("Mk<n>=<type>,<description>,..."): a
// corrected copy passes its input's entries through unchanged, a conversion
// passes brainVisionMarkerEntries() of its markers.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hostprogram/recordings/recording.h"

struct BrainVisionWriter {
    std::string headerPath, dataPath, markerPath;  // sub01_OBS.vhdr, .eeg, .vmrk
    RecordingInfo info;                            // channels, rate, samples expected
    std::vector<std::string> markerEntries;
    std::FILE* data = nullptr;
    int64_t samplesWritten = 0;
    std::vector<unsigned char> buffer;  // one block, multiplexed
};

// Starts the data file beside headerPath, which must end in ".vhdr": the
// data and marker files take its name with ".eeg" and ".vmrk". info gives
// the channels' names and units, the rate and the number of samples that
// will be appended. False with error when these cannot be written or the
// data file cannot be created.
bool createBrainVisionWriter(const std::string& headerPath, const RecordingInfo& info,
                             const std::vector<std::string>& markerEntries,
                             BrainVisionWriter& writer, std::string& error);

// Appends the next count samples of every channel, given as
// samples[channel * count + sample] (the layout readBrainVisionBlock gives).
bool appendBrainVisionBlock(BrainVisionWriter& writer, const float* samples, int64_t count,
                            std::string& error);

// Closes the data file and writes the header and marker file once all of
// info.samples are in. On any failure all three files are removed.
bool finishBrainVisionWriter(BrainVisionWriter& writer, std::string& error);

// Drops an unfinished recording: closes and removes whatever was written.
void abandonBrainVisionWriter(BrainVisionWriter& writer);
