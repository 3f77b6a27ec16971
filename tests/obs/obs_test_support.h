#pragma once

// Shared by the obs and run tests: small CTC recordings written and read
// back by a plain writer of the format, evenly spaced trigger positions, and
// the host's product as a plain loop.

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

// `count` positions from `first` on, `spacing` apart.
std::vector<int32_t> positionsFrom(int count, int32_t first, int32_t spacing);

// C (m x m, row-major) = A * A^T for A of m rows of k, row-major: the one
// product the correction asks its host for.
void productWithTranspose(const double* A, double* C, int m, int k);
