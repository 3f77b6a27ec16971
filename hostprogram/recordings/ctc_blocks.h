#pragma once

// Continuous CTC files read and written a block of samples at a time across
// all channels, as the format-neutral source and sink move them: the other
// formats store samples interleaved, so a conversion would otherwise hold a
// whole recording. The stored elements are turned into floats and back by
// the CTC layer's codec, as the whole-channel reader and writer do.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "hostprogram/recordings/ctc_reader.h"
#include "hostprogram/recordings/ctc_writer.h"

struct CtcBlockReader {
    std::string path;
    CtcHeader header;
    std::ifstream file;
    std::vector<unsigned char> buffer;
};

// Reads the header and checks that the samples can be read: a continuous
// ordering, a supported data type, a data part that fits in the file.
bool openCtcBlockReader(const std::string& path, CtcBlockReader& reader, std::string& error);

// Samples [firstSample, firstSample + count) of every channel into
// out[channel * count + index], converted as the data type says.
bool readCtcBlock(CtcBlockReader& reader, int64_t firstSample, int64_t count, float* out,
                  std::string& error);

// A float file in ordering 1 (channel after channel) filled by blocks of
// every channel: each block's stretch of a channel goes to its place.
struct CtcBlockWriter {
    CtcChannelWriter file;
    int64_t samplesWritten = 0;
    std::vector<unsigned char> buffer;
};

bool openCtcBlockWriter(const std::string& path, float samplingFrequency, uint32_t channelCount,
                        uint32_t sampleCount, CtcBlockWriter& writer, std::string& error);

// Appends the next count samples of every channel, given as
// samples[channel * count + index].
bool appendCtcBlock(CtcBlockWriter& writer, const float* samples, int64_t count,
                    std::string& error);

// Closes the file once every sample is in; on any failure it is removed.
bool finishCtcBlockWriter(CtcBlockWriter& writer, std::string& error);
