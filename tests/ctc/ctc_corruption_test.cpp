// Single-byte corruptions of valid files, opened in memory and checked
// against a separate, plainly written reading of the raw bytes that uses
// 128-bit sizes and so needs no overflow reasoning of its own.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

using Wide = unsigned __int128;

struct Expected {
    std::string message;  // what the open prints; empty when it opens
    bool opens = false;
    uint32_t fileVersion = 1, compressionType = 0, compressionParams = 0, dataType = 0;
    uint32_t ordering = 0, channels = 0, samples = 0, blocks = 0;
    uint32_t frequencyBits = 0x3F800000;  // 1.0f
};

Expected refused(Expected expected, const std::string& message) {
    expected.message = message;
    return expected;
}

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
    auto fits = [&](Wide arrayBytes) { return !ended && position + arrayBytes <= bytes.size(); };
    const std::string arraysBeyond = "The header arrays reach beyond the end of the file.\n";
    const std::string orderingRefused = "SampleOrdering not yet supported.\n";

    next(e.fileVersion);
    next(e.compressionType);
    if (e.compressionType != 0) {
        next(e.compressionParams);
        if (e.compressionParams != 0) {
            if (!fits(Wide{e.compressionParams} * 4)) return refused(e, arraysBeyond);
            position += size_t{e.compressionParams} * 4;
        }
    }
    next(e.dataType);
    if (e.dataType == 2 || e.dataType >= 6) return refused(e, "Datatype not yet supported.\n");
    next(e.ordering);
    if (e.ordering >= 7) return refused(e, orderingRefused);
    next(e.channels);
    next(e.samples);
    next(e.frequencyBits);
    if (e.dataType > 2 && e.channels != 0) {
        if (!fits(Wide{e.channels} * 8)) return refused(e, arraysBeyond);
        position += size_t{e.channels} * 8;
    }
    next(e.blocks);
    Wide elements = Wide{e.channels} * e.samples;
    if (e.blocks != 0) {
        if (!fits(Wide{e.blocks} * 12)) return refused(e, arraysBeyond);
        std::vector<uint32_t> trials(e.blocks), pre(e.blocks), post(e.blocks);
        for (auto* column : {&trials, &pre, &post}) {
            for (uint32_t& value : *column) next(value);
        }
        if (e.ordering >= 3) {
            elements = 0;
            for (uint32_t b = 0; b < e.blocks; ++b) {
                const Wide blockTrials = trials[b] == 0 ? 1 : trials[b];
                elements += Wide{e.channels} * blockTrials * (Wide{pre[b]} + post[b]);
            }
        }
    } else if (e.ordering >= 3) {
        elements = 0;
    }
    if (e.ordering == 0) return refused(e, orderingRefused);
    if (e.dataType != 1 && e.dataType != 3 && e.dataType != 4 && e.dataType != 5) {
        return refused(e, "Unsupported datatype.\n");
    }
    const Wide size = e.dataType == 3 ? 2 : e.dataType == 4 ? 1 : 4;
    if (position + elements * size > bytes.size()) {
        return refused(e, "The data part reaches beyond the end of the file.\n");
    }
    e.opens = true;
    return e;
}

class CtcCorruptionTest : public TempFolderTest {};

TEST_F(CtcCorruptionTest, EverySingleByteChangeMatchesTheReferenceReading) {
    std::vector<Bytes> files;
    for (uint32_t dataType : {1u, 3u, 4u, 5u}) {
        files.push_back(fileBytes(ctcFields(dataType, dataType == 4 ? 2 : 1, 2, 3), 6));
    }
    CtcFields epoched = ctcFields(3, 5, 1, 0);
    epoched.compressionType = 1;
    epoched.compressionParams = {3};
    epoched.trials = {2, 0};
    epoched.pre = {1, 0};
    epoched.post = {1, 2};
    files.push_back(fileBytes(epoched, 6));

    const std::string path = pathOf("corrupt.ctc");
    for (size_t variant = 0; variant < files.size(); ++variant) {
        for (size_t position = 0; position < files[variant].size(); ++position) {
            const uint8_t original = files[variant][position];
            const uint8_t replacements[] = {
                0x00, 0x01, 0x02, 0x07, 0x80, 0xFF, static_cast<uint8_t>(original ^ 0x01)};
            for (uint8_t replacement : replacements) {
                Bytes corrupt = files[variant];
                corrupt[position] = replacement;
                SCOPED_TRACE("variant " + std::to_string(variant) + ", byte " +
                             std::to_string(position) + " = " + std::to_string(replacement));
                const Expected expected = referenceOpenInMemory(corrupt);
                writeFile(path, corrupt);
                CtcFile file;
                testing::internal::CaptureStderr();
                const int opened = openCtcFile(file, path.c_str(), 0);
                ASSERT_EQ(testing::internal::GetCapturedStderr(), expected.message);
                ASSERT_EQ(opened, expected.opens ? 1 : 0);
                if (!opened) continue;
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
                EXPECT_EQ(closeCtcFile(file), 1);
            }
        }
    }
}

}  // namespace
