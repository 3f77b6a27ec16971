#pragma once

// Writing continuous CTC files, for the demo, the generate command and the
// tests. Samples are given channel by channel; a recording of many minutes is
// never held whole in memory.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct CtcLayout {
    float samplingFrequency = 0.0f;
    uint32_t channelCount = 0;
    uint32_t sampleCount = 0;
    int sampleOrdering = 1;  // 1 or 2
    int dataType = 1;        // 1, 3, 4 or 5
    // One per channel for data types 3 to 5: value = stored * scale + offset.
    std::vector<float> offsets;
    std::vector<float> scales;
};

// An open file being filled channel after channel. Ordering 2 interleaves
// the channels, so their samples wait in a channel-major side file until the
// last channel is in.
struct CtcChannelWriter {
    CtcLayout layout;
    std::string path;
    std::string sidePath;           // empty for ordering 1
    std::FILE* file = nullptr;      // the CTC file
    std::FILE* channels = nullptr;  // the side file (ordering 2)
    uint32_t channelsWritten = 0;
    uint64_t headerLength = 0;
};

// Writes the header. False with error when the layout is not writable or the
// file cannot be created.
bool openCtcChannelWriter(const std::string& path, const CtcLayout& layout,
                          CtcChannelWriter& writer, std::string& error);

// Appends the next channel (layout.sampleCount values), stored as the data
// type says: integers rounded to the nearest step and held to their range.
bool appendCtcChannel(CtcChannelWriter& writer, const std::vector<float>& values,
                      std::string& error);

// Completes the file once every channel is in (interleaving for ordering 2)
// and closes it. On any failure the incomplete file is removed.
bool finishCtcChannelWriter(CtcChannelWriter& writer, std::string& error);

// Drops an unfinished file.
void abandonCtcChannelWriter(CtcChannelWriter& writer);

// A whole float file (data type 1) from channels[c], all of one length.
bool writeCtcFloatFile(const std::string& path, float samplingFrequency,
                       const std::vector<std::vector<float>>& channels, int sampleOrdering = 1);
