#pragma once

// Reading a BrainVision recording: the header (.vhdr) names a binary data
// file and a marker file beside it. Opening reads and checks the header and
// the markers and measures the data file; the samples are then read in
// blocks of the caller's size, so memory does not grow with the recording.
//
// The data file holds the stored values without any header, little-endian,
// each value BrainVisionHeader::binaryFormat wide:
//   MULTIPLEXED  value(channel c, sample s) at (s * channels + c) * size
//   VECTORIZED   value(channel c, sample s) at (c * samples + s) * size
// A value times its channel's resolution is the sample in the channel's unit.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "hostprogram/recordings/brainvision_header.h"
#include "hostprogram/recordings/recording.h"

struct BrainVisionReader {
    BrainVisionHeader header;
    RecordingInfo info;                      // channels, rate, sample count, markers
    std::vector<std::string> markerEntries;  // as written, for a corrected copy
    std::string dataPath;
    std::ifstream data;
    std::vector<unsigned char> buffer;  // one block's stored values
};

// Byte offset of a stored value in the data file, by the layouts above.
uint64_t brainVisionValueOffset(const BrainVisionHeader& header, int64_t sampleCount,
                                int64_t channel, int64_t sample);

// Opens the recording whose header is headerPath. The data and marker file
// names are taken relative to the header's folder. The sample count is
// DataPoints when the header gives it, otherwise what the data file holds.
// False with error naming the file and what is wrong: a header that cannot be
// understood, a data file that is missing, shorter than DataPoints or not a
// whole number of samples, a marker file that is missing or refused.
bool openBrainVisionReader(const std::string& headerPath, BrainVisionReader& reader,
                           std::string& error);

// Reads samples [firstSample, firstSample + count) of every channel into
// out[channel * count + sample], each in its channel's unit. False with
// error when the range is outside the recording or the file cannot be read.
bool readBrainVisionBlock(BrainVisionReader& reader, int64_t firstSample, int64_t count, float* out,
                          std::string& error);
