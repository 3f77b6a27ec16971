#pragma once

// Test-side writer of CTC files, written plainly from the byte layout so that
// it shares no code with the reader under test, and a temporary folder per
// test.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temporary_folder.h"

namespace ctc_test {

// Any open mode other than kCtcOpenInPlace loads the data part into memory.
constexpr uint32_t kInMemory = 0;

struct CtcFields {
    uint32_t compressionType = 0;
    std::vector<uint32_t> compressionParams;  // written when compressionType != 0
    uint32_t dataType = 1;
    uint32_t ordering = 1;
    uint32_t channels = 0;
    uint32_t samples = 0;
    std::vector<float> offsets;  // written for the scaled data types
    std::vector<float> scales;
    std::vector<uint32_t> trials;  // block arrays, all of the same length
    std::vector<uint32_t> pre;
    std::vector<uint32_t> post;
};

using Bytes = std::vector<uint8_t>;

Bytes headerBytes(const CtcFields& fields);

// Fields of a `channels` x `samples` file whose channels have distinct,
// nonzero offsets and scales (for the data types that store them) that keep
// small integer steps exact.
CtcFields ctcFields(uint32_t dataType, uint32_t ordering, uint32_t channels, uint32_t samples);

// The header followed by `elementCount` elements of a deterministic pattern:
// distinct small values that every type holds exactly, negative ones
// included.
Bytes fileBytes(const CtcFields& fields, uint64_t elementCount);

// Writes the header and channels x samples elements of the pattern.
std::string writeCtcFile(const std::string& path, const CtcFields& fields);

// Bytes per stored element of a data type (1, 3, 4, 5).
uint32_t elementBytes(uint32_t dataType);

// Element `index` of a data part, read as a double and stored from one; an
// integer type takes the value truncated toward zero and must be able to
// hold it.
double storedValue(const Bytes& data, uint32_t dataType, uint64_t index);
void storeValue(Bytes& data, uint32_t dataType, uint64_t index, double stored);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readBytes(const std::string& path);

// A fresh temporary folder per test, removed afterwards even when it failed.
class TempFolderTest : public ::testing::Test {
protected:
    std::string pathOf(const std::string& name) const { return folder_.file(name); }
    const std::string& folder() const { return folder_.path; }

private:
    TemporaryFolder folder_;
};

}  // namespace ctc_test
