// Cut and corrupted files, opened in memory and checked against a separate,
// plainly written reading of the raw bytes that uses 128-bit sizes and so
// needs no overflow reasoning of its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "ctc/ctc_format.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;
using namespace ctc;

namespace {

using Wide = unsigned __int128;

struct Expected {
    std::string message;  // what the open prints; empty when it opens
    bool opens = false;
    uint32_t fileVersion = 1, compressionType = 0, compressionParams = 0, dataType = 0;
    uint32_t ordering = 0, channels = 0, samples = 0, blocks = 0;
    uint32_t frequencyBits = 0x3F800000;  // 1.0f
    uint64_t headerLength = 0;
};

// Reads a whole header the slow and obvious way. Fields that the bytes end
// before keep their initial values; arrays must fit in the rest.
Expected referenceOpenInMemory(const Bytes& bytes) {
    Expected e;
    size_t position = 0;
    bool ended = false;
    auto next = [&](uint32_t& field) {
        if (ended || position + 4 > bytes.size()) {
            ended = true;
            return;
        }
        field = bytes[position] | bytes[position + 1] << 8 | bytes[position + 2] << 16 |
                static_cast<uint32_t>(bytes[position + 3]) << 24;
        position += 4;
    };
    auto refused = [&e](const std::string& message) {
        e.message = message;
        return e;
    };
    auto fits = [&](Wide arrayBytes) { return !ended && position + arrayBytes <= bytes.size(); };
    const std::string arraysBeyond = "The header arrays reach beyond the end of the file.\n";
    const std::string orderingRefused = "SampleOrdering not yet supported.\n";

    next(e.fileVersion);
    next(e.compressionType);
    if (e.compressionType != 0) {
        next(e.compressionParams);
        if (e.compressionParams != 0) {
            if (!fits(Wide{e.compressionParams} * 4)) return refused(arraysBeyond);
            position += size_t{e.compressionParams} * 4;
        }
    }
    next(e.dataType);
    if (e.dataType == kDataTypeReserved || e.dataType > kDataTypeScaledFloat) {
        return refused("Datatype not yet supported.\n");
    }
    next(e.ordering);
    if (e.ordering > kOrderingSampleChannelTrial) return refused(orderingRefused);
    next(e.channels);
    next(e.samples);
    next(e.frequencyBits);
    if (e.dataType > kDataTypeReserved && e.channels != 0) {  // offsets and scales
        if (!fits(Wide{e.channels} * 8)) return refused(arraysBeyond);
        position += size_t{e.channels} * 8;
    }
    next(e.blocks);
    const bool epoched = e.ordering >= kOrderingTrialChannelSample;
    Wide elements = epoched ? 0 : Wide{e.channels} * e.samples;
    if (e.blocks != 0) {
        if (!fits(Wide{e.blocks} * 12)) return refused(arraysBeyond);
        std::vector<uint32_t> trials(e.blocks), pre(e.blocks), post(e.blocks);
        for (auto* column : {&trials, &pre, &post}) {
            for (uint32_t& value : *column) next(value);
        }
        for (uint32_t b = 0; b < e.blocks && epoched; ++b) {
            const Wide blockTrials = trials[b] == 0 ? 1 : trials[b];
            elements += Wide{e.channels} * blockTrials * (Wide{pre[b]} + post[b]);
        }
    }
    if (e.ordering < kOrderingChannelMajor) return refused(orderingRefused);
    if (e.dataType != kDataTypeFloat && e.dataType != kDataTypeInt16 &&
        e.dataType != kDataTypeInt8 && e.dataType != kDataTypeScaledFloat) {
        return refused("Unsupported datatype.\n");
    }
    e.headerLength = position;
    const Wide size = e.dataType == kDataTypeInt16 ? 2 : e.dataType == kDataTypeInt8 ? 1 : 4;
    if (position + elements * size > bytes.size()) {
        return refused("The data part reaches beyond the end of the file.\n");
    }
    e.opens = true;
    return e;
}

class CtcCorruptionTest : public TempFolderTest {};

// Every prefix, many single-byte changes and a tail beyond the data part of
// files of every variant. In memory the open matches the reference reading;
// in place a cut file grows to the header's promise at most, and to exactly
// that once the header is whole, and a long file keeps its tail.
TEST_F(CtcCorruptionTest, CutAndChangedFilesMatchTheReferenceReading) {
    std::vector<Bytes> files;
    for (uint32_t dataType : {1u, 3u, 4u, 5u}) {
        CtcFields fields = ctcFields(dataType, dataType == kDataTypeInt8 ? 2 : 1, 2, 3);
        if (dataType == kDataTypeScaledFloat) {  // blocks play no part in a continuous file's size
            fields.trials = fields.pre = fields.post = {2};
        }
        files.push_back(fileBytes(fields, 6));
    }
    CtcFields epoched = ctcFields(3, 5, 2, 4);  // S plays no part in the size
    epoched.compressionType = 1;
    epoched.compressionParams = {3};
    epoched.trials = {0, 2};  // 0 counts as one trial
    epoched.pre = {0, 1};
    epoched.post = {2, 1};
    files.push_back(fileBytes(epoched, 2 * 2 + 2 * 2 * 2));
    CtcFields beyondSixtyFourBits;  // elements beyond 64 bits
    beyondSixtyFourBits.ordering = 3;
    beyondSixtyFourBits.channels = 0xFFFFFFFF;
    beyondSixtyFourBits.trials = beyondSixtyFourBits.pre = beyondSixtyFourBits.post = {0xFFFFFFFF};
    files.push_back(headerBytes(beyondSixtyFourBits));
    files.push_back(headerBytes(ctcFields(1, 1, 0xFFFFFFFF, 0xFFFFFFFF)));  // bytes beyond 64 bits

    const std::string path = pathOf("corrupt.ctc");
    for (const Bytes& original : files) {
        const Expected whole = referenceOpenInMemory(original);
        std::vector<std::pair<std::string, Bytes>> inputs;
        for (size_t length = 0; length < original.size(); ++length) {
            inputs.push_back({"cut at " + std::to_string(length),
                              Bytes(original.begin(), original.begin() + length)});
        }
        for (size_t position = 0; position < original.size(); ++position) {
            const int flipped = original[position] ^ 0x01;
            for (int replacement : {0x00, 0x01, 0x02, 0x07, 0x80, 0xFF, flipped}) {
                Bytes corrupt = original;
                corrupt[position] = static_cast<uint8_t>(replacement);
                inputs.push_back(
                    {"byte " + std::to_string(position) + " = " + std::to_string(replacement),
                     corrupt});
            }
        }
        Bytes withTail = original;
        withTail.insert(withTail.end(), {'t', 'a', 'i', 'l'});
        inputs.push_back({"with a tail", withTail});
        for (const auto& [name, input] : inputs) {
            SCOPED_TRACE("file of " + std::to_string(original.size()) + " bytes, " + name);
            const Expected expected = referenceOpenInMemory(input);
            writeFile(path, input);
            CtcFile file;
            testing::internal::CaptureStderr();
            int opened = openCtcFile(file, path.c_str(), kInMemory);
            ASSERT_EQ(testing::internal::GetCapturedStderr(), expected.message);
            ASSERT_EQ(opened, expected.opens ? 1 : 0);
            if (opened) {
                uint32_t frequencyBits;
                std::memcpy(&frequencyBits, &file.SamplingFrequency, sizeof frequencyBits);
                EXPECT_EQ(file.FileVersion, expected.fileVersion);
                EXPECT_EQ(file.CompressionType, expected.compressionType);
                EXPECT_EQ(file.NrOfCompressionParams, expected.compressionParams);
                EXPECT_EQ(file.DataType, expected.dataType);
                EXPECT_EQ(file.SampleOrdering, expected.ordering);
                EXPECT_EQ(file.NrOfChannels, expected.channels);
                EXPECT_EQ(file.NrOfSamples, expected.samples);
                EXPECT_EQ(frequencyBits, expected.frequencyBits);
                EXPECT_EQ(file.NrOfBlocks, expected.blocks);
                if (expected.ordering >= kOrderingTrialChannelSample &&
                    input == original) {  // no windows on epoched files
                    float sample;
                    testing::internal::CaptureStderr();
                    EXPECT_EQ(readCtcChannel(&sample, file, 0, 0, 1), 0);
                    EXPECT_EQ(testing::internal::GetCapturedStderr(),
                              "Unsupported SampleOrdering for this function.\n");
                    EXPECT_EQ(file.BlockStarts[1], 4u);  // after the first block
                }
                EXPECT_EQ(closeCtcFile(file), 1);
            }
            if (!whole.opens || input.size() == original.size()) continue;
            testing::internal::CaptureStderr();
            opened = openCtcFile(file, path.c_str(), kCtcOpenInPlace);
            testing::internal::GetCapturedStderr();
            const uint64_t length = std::filesystem::file_size(path);
            EXPECT_LE(length, std::max(input.size(), original.size()));
            if (input.size() >= whole.headerLength) {
                EXPECT_EQ(length, std::max(input.size(), original.size()));
            }
            if (opened) {
                EXPECT_EQ(closeCtcFile(file), 1);
            }
        }
    }
}

}  // namespace
