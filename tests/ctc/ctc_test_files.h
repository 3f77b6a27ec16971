#pragma once

// Test-side writer of CTC files, written plainly from the byte layout so that
// it shares no code with the reader under test, and a temporary folder per
// test.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ctc_test {

struct CtcFields {
    uint32_t fileVersion = 1;
    uint32_t compressionType = 0;
    std::vector<uint32_t> compressionParams;  // written when compressionType != 0
    uint32_t dataType = 1;
    uint32_t ordering = 1;
    uint32_t channels = 0;
    uint32_t samples = 0;
    float frequency = 1000.0f;
    std::vector<float> offsets;  // written when dataType > 2
    std::vector<float> scales;
    std::vector<uint32_t> trials;  // block arrays, all of the same length
    std::vector<uint32_t> pre;
    std::vector<uint32_t> post;
};

using Bytes = std::vector<uint8_t>;

void appendU32(Bytes& bytes, uint32_t value);
void appendF32(Bytes& bytes, float value);

Bytes headerBytes(const CtcFields& fields);

// Fields of a `channels` x `samples` file whose channels have distinct,
// nonzero offsets and scales that keep small integer steps exact.
CtcFields ctcFields(uint32_t dataType, uint32_t ordering, uint32_t channels, uint32_t samples);

// The header followed by `elementCount` elements of the pattern.
Bytes fileBytes(const CtcFields& fields, uint64_t elementCount);

// Bytes per stored element of a data type (1, 3, 4, 5).
uint32_t elementBytes(uint32_t dataType);

// Stored element e of a deterministic pattern: distinct small values that
// every type can hold exactly, negative ones included.
Bytes patternData(uint32_t dataType, uint64_t elementCount);

// Stored value of element `index` in `data` as a double.
double storedValue(const Bytes& data, uint32_t dataType, uint64_t index);

// Element index written out directly for the continuous orderings.
uint64_t continuousIndex(uint32_t ordering, uint32_t channels, uint32_t samples, uint32_t channel,
                         uint32_t sample);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
uint64_t fileSize(const std::string& path);

// Writes at or beyond `bytes` then fail with an error instead of ending
// the process.
void limitFileSize(uint64_t bytes);

// Runs `body` in a forked child and returns whether it returned true there;
// for tests that change process limits.
bool passesInChild(bool (*body)(const std::string& folder), const std::string& folder);

// A fresh temporary folder per test, removed afterwards even when it failed.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string pathOf(const std::string& name) const { return folder_ + "/" + name; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

}  // namespace ctc_test
