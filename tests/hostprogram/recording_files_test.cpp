// The host's own CTC reading and writing, and the demo's artifact figures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ctc/ctc_format.h"
#include "hostprogram/demo/artifact_metrics.h"
#include "hostprogram/recordings/ctc_reader.h"
#include "hostprogram/recordings/ctc_writer.h"
#include "test_files.h"

namespace {

// A header with every optional part (one compression parameter, offsets and
// scales of two channels when the data type is scaled, one block), followed
// by two int16 samples of each channel.
std::string headerWithEveryPart(uint32_t dataType, uint32_t ordering) {
    const auto bitsOf = [](float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return bits;
    };
    std::vector<uint32_t> words = {2, 3, 1, 77, dataType, ordering, 2, 2, bitsOf(100.0f)};
    if (ctc::isScaledDataType(dataType))
        for (float value : {10.0f, 0.0f, 0.5f, 2.0f}) words.push_back(bitsOf(value));
    words.insert(words.end(), {1, 0, 0, 0});
    // The words in this machine's order, which is the format's little-endian one.
    return std::string(reinterpret_cast<const char*>(words.data()), 4 * words.size()) +
           std::string(8, '\x01');
}

// A data type or ordering the CTC layer refuses is named for what it is; a
// file cut anywhere is refused, never read past its end.
TEST(CtcFiles, ReadsEveryHeaderPartAndRefusesWhatItCannotRead) {
    struct Case {
        uint32_t dataType, ordering;
        const char* expected;
    };
    const Case cases[] = {
        {2, 1, "Datatype not yet supported."},
        {0, 1, "Unsupported datatype."},
        {3, 0, "SampleOrdering not yet supported."},
        {3, 7, "SampleOrdering not yet supported."},
    };
    TemporaryFolder folder;
    const std::string path = folder.file("h.ctc");
    CtcHeader header;
    std::string error;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.expected);
        std::ofstream(path, std::ios::binary) << headerWithEveryPart(test.dataType, test.ordering);
        EXPECT_FALSE(readCtcHeader(path, header, error));
        EXPECT_EQ(error, path + ": " + test.expected);
    }
    const std::string whole = headerWithEveryPart(3, 1);
    std::ofstream(path, std::ios::binary) << whole;
    ASSERT_TRUE(readCtcHeader(path, header, error)) << error;
    EXPECT_EQ(header.compressionParams, (std::vector<uint32_t>{77}));
    EXPECT_EQ(header.headerLength, 68u);
    std::vector<std::vector<float>> read;
    ASSERT_TRUE(readCtcChannels(path, header, {1, 0}, read, error)) << error;
    EXPECT_EQ(read[0], (std::vector<float>{514.0f, 514.0f}));  // 257 * 2 + 0
    EXPECT_EQ(read[1], (std::vector<float>{138.5f, 138.5f}));  // 257 * 0.5 + 10
    EXPECT_FALSE(readCtcChannels(path, header, {2}, read, error));
    EXPECT_NE(error.find("there is no channel 3 (it has 2)"), std::string::npos) << error;
    // A channel count whose data size passes 64 bits is refused, not wrapped.
    CtcHeader huge = header;
    huge.nrOfChannels = huge.nrOfSamples = 0xFFFFFFFFu;
    EXPECT_FALSE(readCtcChannels(path, huge, {0}, read, error));
    std::ofstream(path, std::ios::binary) << whole.substr(0, whole.size() - 1);
    ASSERT_TRUE(readCtcHeader(path, header, error));
    EXPECT_FALSE(readCtcChannels(path, header, {0}, read, error));
    EXPECT_NE(error.find("shorter than its 2 channels of 2 samples"), std::string::npos) << error;
    for (std::size_t length = 0; length < 68; ++length) {
        std::ofstream(path, std::ios::binary) << whole.substr(0, length);
        EXPECT_FALSE(readCtcHeader(path, header, error)) << length;
    }
}

// What the writer cannot complete leaves nothing behind. Every data type it
// knows, in both orderings, is read back by the host's reader: values come
// back to within half a step, integers that do not fit are held at their
// range, and the header carries the scales.
TEST(CtcFiles, ChannelWriterRefusesWhatItCannotWriteAndRoundTripsTheRest) {
    struct Case {
        int dataType;
        float scale;
        float tolerance;        // half a step
        float lowest, highest;  // of what the type can hold
    };
    const Case cases[] = {
        {1, 1.0f, 0.0f, -1e30f, 1e30f},
        {3, 0.25f, 0.125f, -32768 * 0.25f + 1, 32767 * 0.25f + 1},
        {4, 2.0f, 1.0f, -128 * 2.0f + 1, 127 * 2.0f + 1},
        {5, 0.5f, 1e-4f, -1e30f, 1e30f},
    };
    const std::vector<std::vector<float>> channels = {
        {0.0f, 3.3f, -7.9f, 100.2f, -250.0f, 12345.0f},
        {1e5f, -1e5f, 0.5f, 1.0f, -0.49f, 260.0f},
    };
    TemporaryFolder folder;
    const std::string path = folder.file("w.ctc");
    CtcChannelWriter writer;
    std::string error;
    // Scaled samples without their scales could not be stored.
    EXPECT_FALSE(openCtcChannelWriter(path, {100.0f, 2, 3, 1, 3, {}, {}}, writer, error));
    ASSERT_TRUE(openCtcChannelWriter(path, {100.0f, 2, 3, 2, 1, {}, {}}, writer, error)) << error;
    EXPECT_FALSE(appendCtcChannel(writer, {1, 2}, error));  // wrong length
    ASSERT_TRUE(appendCtcChannel(writer, {1, 2, 3}, error));
    // One channel short: no file, no side file.
    EXPECT_FALSE(finishCtcChannelWriter(writer, error));
    EXPECT_NE(error.find("not every channel"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
    for (const Case& test : cases)
        for (int ordering : {1, 2}) {
            SCOPED_TRACE(::testing::Message()
                         << "data type " << test.dataType << ", ordering " << ordering);
            // Offsets and scales are written for the scaled types only.
            const std::vector<float> scales(2, test.scale);
            const CtcLayout layout{500.0f, 2, 6, ordering, test.dataType, {1.0f, 1.0f}, scales};
            ASSERT_TRUE(openCtcChannelWriter(path, layout, writer, error)) << error;
            for (const auto& channel : channels)
                ASSERT_TRUE(appendCtcChannel(writer, channel, error)) << error;
            ASSERT_TRUE(finishCtcChannelWriter(writer, error)) << error;
            EXPECT_FALSE(std::ifstream(path + ".channels").good()) << "side file left behind";
            CtcHeader header;
            ASSERT_TRUE(readCtcHeader(path, header, error)) << error;
            EXPECT_EQ(header.channelScales,
                      ctc::isScaledDataType(static_cast<uint32_t>(test.dataType))
                          ? scales
                          : std::vector<float>());
            std::vector<std::vector<float>> read;
            ASSERT_TRUE(readCtcChannels(path, header, {1, 0}, read, error)) << error;
            for (std::size_t c = 0; c < 2; ++c)
                for (std::size_t s = 0; s < 6; ++s) {
                    const float held =
                        std::min(test.highest, std::max(test.lowest, channels[1 - c][s]));
                    EXPECT_NEAR(read[c][s], held, test.tolerance + 1e-3f * std::fabs(held))
                        << c << "," << s;
                }
        }
}

TEST(ArtifactFigures, ResidualPowerInDecibels) {
    const std::vector<float> clean = {0, 0, 0, 0};
    const std::vector<float> recorded = {10, -10, 10, -10};
    EXPECT_EQ(residualDecibels(clean, recorded, clean), -INFINITY);
    ArtifactReduction reduction =
        measureArtifactReduction({clean, clean, clean}, {recorded, recorded, recorded},
                                 {{1, -1, 1, -1}, recorded, {0.1f, -0.1f, 0.1f, -0.1f}});
    EXPECT_NEAR(reduction.medianDecibels, -20.0, 1e-6);
    EXPECT_NEAR(reduction.worstDecibels, 0.0, 1e-9);
    EXPECT_EQ(reduction.worstChannel, 2);
}

}  // namespace
