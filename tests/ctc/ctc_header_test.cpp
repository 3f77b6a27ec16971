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

CtcFields scaledFields(uint32_t dataType, uint32_t channels) {
    CtcFields fields;
    fields.dataType = dataType;
    fields.channels = channels;
    fields.samples = 10;
    for (uint32_t c = 0; c < channels; ++c) {
        fields.offsets.push_back(static_cast<float>(c) + 0.5f);
        fields.scales.push_back(static_cast<float>(c) + 2.0f);
    }
    return fields;
}

TEST(CtcHeader, CompressionFieldsPresentOnlyWhenCompressed) {
    struct Case {
        uint32_t compressionType;
        std::vector<uint32_t> params;
        uint64_t headerLength;
    };
    const Case cases[] = {
        {0, {}, 32},  // DataType follows CompressionType directly
        {3, {}, 36},  // the count field without parameters
        {2, {7, 8, 9}, 48},
    };
    for (const Case& c : cases) {
        CtcFields fields;
        fields.compressionType = c.compressionType;
        fields.compressionParams = c.params;
        fields.channels = 2;
        fields.samples = 3;
        fields.frequency = 250.0f;
        Parsed parsed = parse(headerBytes(fields));
        ASSERT_EQ(parsed.status, HeaderStatus::Ok) << c.compressionType;
        EXPECT_EQ(parsed.layout.headerLength, c.headerLength);
        EXPECT_EQ(parsed.file.CompressionType, c.compressionType);
        EXPECT_EQ(parsed.file.NrOfCompressionParams, c.params.size());
        EXPECT_EQ(parsed.file.DataType, 1u);
        EXPECT_EQ(parsed.file.NrOfChannels, 2u);
        EXPECT_EQ(parsed.file.NrOfSamples, 3u);
        EXPECT_EQ(parsed.file.SamplingFrequency, 250.0f);
        EXPECT_EQ(parsed.layout.elementCount, 6u);
        for (size_t i = 0; i < c.params.size(); ++i) {
            EXPECT_EQ(parsed.file.CompressionParams[i], c.params[i]);
        }
        releaseCtcHeaderArrays(parsed.file);
    }
}

TEST(CtcHeader, OffsetsThenScalesOnlyForScaledTypes) {
    for (uint32_t dataType : {1u, 3u, 4u, 5u}) {
        CtcFields fields = scaledFields(dataType, 3);
        Parsed parsed = parse(headerBytes(fields));
        ASSERT_EQ(parsed.status, HeaderStatus::Ok) << dataType;
        if (dataType == 1) {
            EXPECT_EQ(parsed.layout.headerLength, 32u);
            EXPECT_EQ(parsed.file.ChannelOffsets, nullptr);
            EXPECT_EQ(parsed.file.ChannelScales, nullptr);
        } else {
            EXPECT_EQ(parsed.layout.headerLength, 32u + 24u);
            for (uint32_t c = 0; c < 3; ++c) {
                EXPECT_EQ(parsed.file.ChannelOffsets[c], fields.offsets[c]);
                EXPECT_EQ(parsed.file.ChannelScales[c], fields.scales[c]);
            }
        }
        releaseCtcHeaderArrays(parsed.file);
    }
}

TEST(CtcHeader, ContinuousFileCarriesItsBlockArrays) {
    CtcFields fields;
    fields.channels = 2;
    fields.samples = 5;
    fields.trials = {1, 2};
    fields.pre = {3, 4};
    fields.post = {5, 6};
    Parsed parsed = parse(headerBytes(fields));
    ASSERT_EQ(parsed.status, HeaderStatus::Ok);
    EXPECT_EQ(parsed.layout.headerLength, 32u + 24u);
    EXPECT_EQ(parsed.layout.elementCount, 10u);  // C x S, the blocks play no part
    EXPECT_EQ(parsed.file.NrOfBlocks, 2u);
    EXPECT_EQ(parsed.file.BlockPostSamples[1], 6u);
    releaseCtcHeaderArrays(parsed.file);
}

TEST(CtcHeader, EpochedBlocksStartAfterTheirPredecessors) {
    for (uint32_t ordering = 3; ordering <= 6; ++ordering) {
        CtcFields fields;
        fields.ordering = ordering;
        fields.channels = 3;
        fields.samples = 999;       // no part in the size
        fields.trials = {0, 4, 2};  // 0 counts as one trial
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
}

TEST(CtcHeader, EpochedSizeBeyondSixtyFourBitsIsFlagged) {
    CtcFields fields;
    fields.ordering = 3;
    fields.channels = 0xFFFFFFFF;
    fields.trials = {0xFFFFFFFF};
    fields.pre = {0xFFFFFFFF};
    fields.post = {0xFFFFFFFF};
    Parsed parsed = parse(headerBytes(fields));
    ASSERT_EQ(parsed.status, HeaderStatus::Ok);
    EXPECT_FALSE(parsed.layout.elementCountFits);
    releaseCtcHeaderArrays(parsed.file);
}

TEST(CtcHeader, RefusalsInTheOrderTheFieldsAppear) {
    struct Case {
        const char* name;
        Bytes bytes;
        HeaderStatus status;
    };
    auto with = [](uint32_t dataType, uint32_t ordering) {
        CtcFields fields = scaledFields(dataType, 2);
        fields.ordering = ordering;
        return headerBytes(fields);
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
    CtcFields fields;
    fields.fileVersion = 7;
    fields.channels = 3;
    fields.samples = 4;
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
