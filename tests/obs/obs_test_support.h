#pragma once

// Shared by the obs tests: small CTC recordings written and read back by a
// plain writer of the format.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temporary_folder.h"

// A continuous float recording (DataType 1, no compression, no blocks).
struct TestRecording {
    uint32_t fileVersion = 1;
    uint32_t sampleOrdering = 1;
    float samplingFrequency = 1000.0f;
    // channels[c][s]; every channel has the same number of samples.
    std::vector<std::vector<float>> channels;
};

void writeTestRecording(const std::string& path, const TestRecording& recording);
// Reads back a file written by writeTestRecording (after any correction).
TestRecording readTestRecording(const std::string& path);

// The format's 32-bit little-endian words (this machine's order) as bytes.
std::string bytesOfWords(const std::vector<uint32_t>& words);
uint32_t bitsOf(float value);
