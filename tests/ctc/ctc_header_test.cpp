#include "ctc/ctc_header.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ctc/ctc_format.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc;
using namespace ctc_test;

namespace {

bool readFromBytes(const void* context, uint64_t position, void* destination, size_t size) {
    const Bytes& bytes = *static_cast<const Bytes*>(context);
    if (position > bytes.size() || size > bytes.size() - position) return false;
    std::memcpy(destination, bytes.data() + position, size);
    return true;
}

struct Parsed {
    CtcFile file;
    HeaderLayout layout;
    HeaderStatus status;
};

Parsed parse(const Bytes& bytes) {
    Parsed parsed;
    initialiseCtcFile(parsed.file);
    const ByteSource source{&bytes, readFromBytes, bytes.size()};
    parsed.status = parseCtcHeader(source, parsed.file, parsed.layout);
    return parsed;
}

CtcFields withCompression(uint32_t type, std::vector<uint32_t> params) {
    CtcFields fields = ctcFields(1, 1, 2, 3);
    fields.compressionType = type;
    fields.compressionParams = std::move(params);
    return fields;
}

CtcFields withBlocks() {
    CtcFields fields = ctcFields(1, 1, 2, 3);
    fields.trials = {1, 2};
    fields.pre = {3, 4};
    fields.post = {5, 6};
    return fields;
}

TEST(CtcHeader, VariantsParseToTheirFieldsAndLengths) {
    struct Case {
        const char* name;
        CtcFields fields;
        uint64_t headerLength;
    };
    const Case cases[] = {
        {"uncompressed", withCompression(0, {}), 32},  // DataType follows CompressionType
        {"compressed, no parameters", withCompression(3, {}), 36},
        {"compressed, parameters", withCompression(2, {7, 8, 9}), 48},
        {"data type 3", ctcFields(3, 1, 2, 3), 32 + 16},
        {"data type 4", ctcFields(4, 2, 2, 3), 32 + 16},
        {"data type 5", ctcFields(5, 1, 2, 3), 32 + 16},
        {"continuous with blocks", withBlocks(), 32 + 24},  // the blocks play no part in C x S
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CtcFields& fields = c.fields;
        Parsed parsed = parse(headerBytes(fields));
        ASSERT_EQ(parsed.status, HeaderStatus::Ok);
        EXPECT_EQ(parsed.layout.headerLength, c.headerLength);
        EXPECT_EQ(parsed.layout.elementCount, 6u);
        EXPECT_EQ(parsed.file.CompressionType, fields.compressionType);
        EXPECT_EQ(parsed.file.NrOfCompressionParams, fields.compressionParams.size());
        for (size_t i = 0; i < fields.compressionParams.size(); ++i) {
            EXPECT_EQ(parsed.file.CompressionParams[i], fields.compressionParams[i]);
        }
        EXPECT_EQ(parsed.file.DataType, fields.dataType);
        EXPECT_EQ(parsed.file.SampleOrdering, fields.ordering);
        EXPECT_EQ(parsed.file.NrOfChannels, 2u);
        EXPECT_EQ(parsed.file.NrOfSamples, 3u);
        EXPECT_EQ(parsed.file.SamplingFrequency, fields.frequency);
        EXPECT_EQ(parsed.file.ChannelOffsets == nullptr, fields.dataType == 1);
        for (uint32_t channel = 0; fields.dataType != 1 && channel < 2; ++channel) {
            EXPECT_EQ(parsed.file.ChannelOffsets[channel], fields.offsets[channel]);
            EXPECT_EQ(parsed.file.ChannelScales[channel], fields.scales[channel]);
        }
        EXPECT_EQ(parsed.file.NrOfBlocks, fields.trials.size());
        if (!fields.trials.empty()) {
            EXPECT_EQ(parsed.file.BlockPostSamples[1], 6u);
        }
        releaseCtcHeaderArrays(parsed.file);
    }
}

TEST(CtcHeader, EpochedBlocksStartAfterTheirPredecessors) {
    for (uint32_t ordering = 3; ordering <= 6; ++ordering) {
        CtcFields fields = ctcFields(1, ordering, 3, 999);  // S plays no part in the size
        fields.trials = {0, 4, 2};                          // 0 counts as one trial
        fields.pre = {0, 2, 1};
        fields.post = {5, 3, 1};
        Parsed parsed = parse(headerBytes(fields));
        ASSERT_EQ(parsed.status, HeaderStatus::Ok) << ordering;
        EXPECT_EQ(parsed.file.BlockStarts[0], 0u);
        EXPECT_EQ(parsed.file.BlockStarts[1], 5u * 3 * 1);
        EXPECT_EQ(parsed.file.BlockStarts[2], 15u + 5 * 3 * 4);
        EXPECT_EQ(parsed.layout.elementCount, 15u + 60 + 2 * 3 * 2);
        EXPECT_TRUE(parsed.layout.elementCountFits);
        releaseCtcHeaderArrays(parsed.file);
    }
    CtcFields huge;
    huge.ordering = 3;
    huge.channels = 0xFFFFFFFF;
    huge.trials = huge.pre = huge.post = {0xFFFFFFFF};
    Parsed parsed = parse(headerBytes(huge));
    ASSERT_EQ(parsed.status, HeaderStatus::Ok);
    EXPECT_FALSE(parsed.layout.elementCountFits);  // beyond 64 bits
    releaseCtcHeaderArrays(parsed.file);
}

TEST(CtcHeader, RefusalsInTheOrderTheFieldsAppear) {
    struct Case {
        const char* name;
        Bytes bytes;
        HeaderStatus status;
    };
    auto with = [](uint32_t dataType, uint32_t ordering) {
        return headerBytes(ctcFields(dataType, ordering, 2, 10));
    };
    Bytes hugeChannels = with(3, 1);
    hugeChannels[16] = 0xFF;  // NrOfChannels far beyond the bytes that follow
    hugeChannels[18] = 0xFF;
    Bytes hugeBlocks = with(1, 1);
    hugeBlocks[28] = 0x40;  // 64 blocks claimed, none stored
    CtcFields compressed;
    compressed.compressionType = 1;
    compressed.compressionParams = {1, 2};
    Bytes cutParams = headerBytes(compressed);
    cutParams.resize(16);
    const Case cases[] = {
        {"empty", {}, HeaderStatus::OrderingNotYetSupported},
        {"datatype 2", with(2, 1), HeaderStatus::DatatypeNotYetSupported},
        {"datatype 6", with(6, 1), HeaderStatus::DatatypeNotYetSupported},
        {"datatype 0", with(0, 1), HeaderStatus::UnsupportedDatatype},
        {"ordering 7", with(1, 7), HeaderStatus::OrderingNotYetSupported},
        {"ordering 0", with(1, 0), HeaderStatus::OrderingNotYetSupported},
        {"datatype 0 ordering 0", with(0, 0), HeaderStatus::OrderingNotYetSupported},
        {"datatype 6 ordering 9", with(6, 9), HeaderStatus::DatatypeNotYetSupported},
        {"channel arrays", hugeChannels, HeaderStatus::ArraysBeyondSource},
        {"block arrays", hugeBlocks, HeaderStatus::ArraysBeyondSource},
        {"compression params", cutParams, HeaderStatus::ArraysBeyondSource},
    };
    for (const Case& c : cases) {
        Parsed parsed = parse(c.bytes);
        EXPECT_EQ(parsed.status, c.status) << c.name;
        EXPECT_EQ(parsed.file.ChannelOffsets, nullptr) << c.name;
        EXPECT_EQ(parsed.file.CompressionParams, nullptr) << c.name;
        EXPECT_EQ(parsed.file.BlockStarts, nullptr) << c.name;
    }
}

// A header that ends early keeps the initial values of the fields it does
// not supply, including a field cut in the middle.
TEST(CtcHeader, FieldsBeyondTheEndKeepTheirInitialValues) {
    CtcFields fields = ctcFields(1, 1, 3, 4);
    fields.fileVersion = 7;
    fields.frequency = 500.0f;
    Bytes bytes = headerBytes(fields);
    bytes.resize(26);  // inside SamplingFrequency
    Parsed parsed = parse(bytes);
    EXPECT_EQ(parsed.status, HeaderStatus::Ok);
    EXPECT_EQ(parsed.file.FileVersion, 7u);
    EXPECT_EQ(parsed.file.NrOfSamples, 4u);
    EXPECT_EQ(parsed.file.SamplingFrequency, 1.0f);
    EXPECT_EQ(parsed.file.NrOfBlocks, 0u);
    EXPECT_EQ(parsed.layout.headerLength, 24u);
}

}  // namespace
