// The host's own CTC reading and writing, the demo recording and the
// artifact figures computed from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hostprogram/artifact_metrics.h"
#include "hostprogram/ctc_reader.h"
#include "hostprogram/ctc_writer.h"
#include "hostprogram/demo_recording.h"
#include "temporary_folder.h"

namespace {

void putU32(std::string& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift);
}

void putF32(std::string& bytes, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    putU32(bytes, bits);
}

TEST(CtcFiles, FloatFilesRoundTripInBothOrderings) {
    TemporaryFolder folder;
    const std::vector<std::vector<float>> channels = {
        {1, 2, 3, 4, 5}, {-1, -2, -3, -4, -5}, {0.5f, 0, 0, 0, 9}};
    for (int ordering : {1, 2}) {
        SCOPED_TRACE(ordering);
        const std::string path = folder.file("f" + std::to_string(ordering) + ".ctc");
        ASSERT_TRUE(writeCtcFloatFile(path, 250.0f, channels, ordering));
        CtcHeader header;
        std::string error;
        ASSERT_TRUE(readCtcHeader(path, header, error)) << error;
        EXPECT_EQ(header.sampleOrdering, static_cast<uint32_t>(ordering));
        EXPECT_EQ(header.nrOfChannels, 3u);
        EXPECT_EQ(header.nrOfSamples, 5u);
        EXPECT_EQ(header.samplingFrequency, 250.0f);
        EXPECT_EQ(header.headerLength, 32u);
        std::vector<std::vector<float>> read;
        ASSERT_TRUE(readCtcChannels(path, header, {2, 0}, read, error)) << error;
        EXPECT_EQ(read[0], channels[2]);
        EXPECT_EQ(read[1], channels[0]);
    }
}

TEST(CtcFiles, ScaledIntegerSamplesAndOptionalFields) {
    // Compression 3 with one parameter, 16-bit samples with offsets and
    // scales, one (ignored) block: every optional field present.
    std::string bytes;
    putU32(bytes, 2);
    putU32(bytes, 3);
    putU32(bytes, 1);
    putU32(bytes, 77);
    putU32(bytes, 3);  // DataType: int16, scaled
    putU32(bytes, 1);
    putU32(bytes, 2);  // channels
    putU32(bytes, 2);  // samples
    putF32(bytes, 100.0f);
    putF32(bytes, 10.0f);  // offsets
    putF32(bytes, 0.0f);
    putF32(bytes, 0.5f);  // scales
    putF32(bytes, 2.0f);
    putU32(bytes, 1);  // blocks
    putU32(bytes, 0);
    putU32(bytes, 0);
    putU32(bytes, 0);
    for (int16_t stored : {int16_t(-32768), int16_t(2), int16_t(-1), int16_t(7)}) {
        bytes += static_cast<char>(stored & 0xFF);
        bytes += static_cast<char>((stored >> 8) & 0xFF);
    }
    TemporaryFolder folder;
    std::ofstream(folder.file("s.ctc"), std::ios::binary) << bytes;
    CtcHeader header;
    std::string error;
    ASSERT_TRUE(readCtcHeader(folder.file("s.ctc"), header, error)) << error;
    EXPECT_EQ(header.compressionParams, (std::vector<uint32_t>{77}));
    EXPECT_EQ(header.headerLength, 68u);
    std::vector<std::vector<float>> read;
    ASSERT_TRUE(readCtcChannels(folder.file("s.ctc"), header, {0, 1}, read, error)) << error;
    EXPECT_EQ(read[0], (std::vector<float>{-16374.0f, 11.0f}));
    EXPECT_EQ(read[1], (std::vector<float>{-2.0f, 14.0f}));
}

// Every data type the writer knows, in both orderings, read back by the
// host's reader: values come back to within half a step, integers that do
// not fit are held at their range, and the header carries the scales.
TEST(CtcFiles, ChannelWriterRoundTripsEveryDataTypeAndOrdering) {
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
    for (const Case& test : cases)
        for (int ordering : {1, 2}) {
            SCOPED_TRACE(::testing::Message()
                         << "data type " << test.dataType << ", ordering " << ordering);
            CtcLayout layout;
            layout.samplingFrequency = 500.0f;
            layout.channelCount = 2;
            layout.sampleCount = 6;
            layout.sampleOrdering = ordering;
            layout.dataType = test.dataType;
            if (test.dataType > 2) {
                layout.offsets = {1.0f, 1.0f};
                layout.scales = {test.scale, test.scale};
            }
            const std::string path = folder.file("w.ctc");
            CtcChannelWriter writer;
            std::string error;
            ASSERT_TRUE(openCtcChannelWriter(path, layout, writer, error)) << error;
            for (const auto& channel : channels)
                ASSERT_TRUE(appendCtcChannel(writer, channel, error)) << error;
            ASSERT_TRUE(finishCtcChannelWriter(writer, error)) << error;
            EXPECT_FALSE(std::ifstream(path + ".channels").good()) << "side file left behind";
            CtcHeader header;
            ASSERT_TRUE(readCtcHeader(path, header, error)) << error;
            EXPECT_EQ(header.dataType, static_cast<uint32_t>(test.dataType));
            EXPECT_EQ(header.channelScales, layout.scales);
            std::vector<std::vector<float>> read;
            ASSERT_TRUE(readCtcChannels(path, header, {0, 1}, read, error)) << error;
            for (std::size_t c = 0; c < 2; ++c)
                for (std::size_t s = 0; s < 6; ++s) {
                    const float held =
                        std::min(test.highest, std::max(test.lowest, channels[c][s]));
                    EXPECT_NEAR(read[c][s], held, test.tolerance + 1e-3f * std::fabs(held))
                        << c << "," << s;
                }
        }
}

TEST(CtcFiles, ChannelWriterRefusesWhatItCannotWriteAndLeavesNothing) {
    TemporaryFolder folder;
    const std::string path = folder.file("w.ctc");
    CtcLayout layout;
    layout.channelCount = 2;
    layout.sampleCount = 3;
    CtcChannelWriter writer;
    std::string error;
    for (int dataType : {0, 2, 6}) {
        layout.dataType = dataType;
        EXPECT_FALSE(openCtcChannelWriter(path, layout, writer, error)) << dataType;
    }
    layout.dataType = 3;  // scaled, but no scales given
    EXPECT_FALSE(openCtcChannelWriter(path, layout, writer, error));
    layout.dataType = 1;
    layout.sampleOrdering = 3;
    EXPECT_FALSE(openCtcChannelWriter(path, layout, writer, error));
    layout.sampleOrdering = 2;
    ASSERT_TRUE(openCtcChannelWriter(path, layout, writer, error)) << error;
    EXPECT_FALSE(appendCtcChannel(writer, {1, 2}, error));  // wrong length
    ASSERT_TRUE(appendCtcChannel(writer, {1, 2, 3}, error));
    // One channel short: no file, no side file.
    EXPECT_FALSE(finishCtcChannelWriter(writer, error));
    EXPECT_NE(error.find("not every channel"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
}

TEST(CtcFiles, RefusesShortFilesMissingChannelsAndEpochs) {
    TemporaryFolder folder;
    ASSERT_TRUE(writeCtcFloatFile(folder.file("f.ctc"), 100.0f, {{1, 2, 3}, {4, 5, 6}}));
    std::string whole;
    {
        std::ifstream file(folder.file("f.ctc"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(file), {});
    }
    CtcHeader header;
    std::string error;
    // Cut inside the header at every length: refused, never read past the end.
    for (std::size_t length = 0; length < 32; ++length) {
        std::ofstream(folder.file("cut.ctc"), std::ios::binary) << whole.substr(0, length);
        EXPECT_FALSE(readCtcHeader(folder.file("cut.ctc"), header, error)) << length;
    }
    // Cut inside the samples: the header reads, the channels do not.
    std::ofstream(folder.file("cut.ctc"), std::ios::binary) << whole.substr(0, whole.size() - 1);
    ASSERT_TRUE(readCtcHeader(folder.file("cut.ctc"), header, error));
    std::vector<std::vector<float>> read;
    EXPECT_FALSE(readCtcChannels(folder.file("cut.ctc"), header, {0}, read, error));
    EXPECT_NE(error.find("shorter than its 2 channels of 3 samples"), std::string::npos);
    ASSERT_TRUE(readCtcHeader(folder.file("f.ctc"), header, error));
    EXPECT_FALSE(readCtcChannels(folder.file("f.ctc"), header, {2}, read, error));
    EXPECT_NE(error.find("there is no channel 3 (it has 2)"), std::string::npos);
    header.sampleOrdering = 3;
    EXPECT_FALSE(readCtcChannels(folder.file("f.ctc"), header, {0}, read, error));
    // A channel count whose data size passes 64 bits is refused, not wrapped.
    header.sampleOrdering = 1;
    header.nrOfChannels = 0xFFFFFFFFu;
    header.nrOfSamples = 0xFFFFFFFFu;
    EXPECT_FALSE(readCtcChannels(folder.file("f.ctc"), header, {0}, read, error));
}

// A whole header with a data type or ordering the CTC layer refuses is named
// for what it is; one cut short or with arrays past the end is a cut file.
TEST(CtcFiles, HeaderRefusalsSayWhy) {
    struct Case {
        const char* name;
        uint32_t compression, dataType, ordering, channels;
        const char* expected;
    };
    const Case cases[] = {
        {"data type 2", 0, 2, 1, 1, "Datatype not yet supported."},
        {"data type 6", 0, 6, 1, 1, "Datatype not yet supported."},
        {"data type 0", 0, 0, 1, 1, "Unsupported datatype."},
        {"ordering 0", 0, 1, 0, 1, "SampleOrdering not yet supported."},
        {"ordering 7", 0, 1, 7, 1, "SampleOrdering not yet supported."},
        {"offsets past the end", 0, 3, 1, 1000, "ends inside its CTC header"},
        {"compression parameters past the end", 1, 1, 1, 1, "ends inside its CTC header"},
    };
    TemporaryFolder folder;
    const std::string path = folder.file("h.ctc");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::string bytes;
        putU32(bytes, 1);
        putU32(bytes, test.compression);
        if (test.compression != 0) putU32(bytes, 50);
        putU32(bytes, test.dataType);
        putU32(bytes, test.ordering);
        putU32(bytes, test.channels);
        putU32(bytes, 4);
        putF32(bytes, 100.0f);
        putU32(bytes, 0);
        bytes += std::string(16, '\0');
        std::ofstream(path, std::ios::binary) << bytes;
        CtcHeader header;
        std::string error;
        EXPECT_FALSE(readCtcHeader(path, header, error));
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(test.expected), std::string::npos) << error;
    }
}

TEST(DemoRecording, IsTheCleanSignalPlusAHeartbeatLockedArtifact) {
    DemoSettings settings;
    settings.channelCount = 3;
    settings.samplingRate = 200;
    settings.durationSeconds = 60;
    DemoRecording demo = generateDemoRecording(settings);
    ASSERT_EQ(demo.clean.size(), 3u);
    ASSERT_EQ(demo.clean[0].size(), 12000u);
    // Heart rate between 40 and 120 beats a minute, beat to beat.
    ASSERT_GT(demo.rPeaks.size(), 40u);
    for (std::size_t b = 1; b < demo.rPeaks.size(); ++b) {
        const double interval = (demo.rPeaks[b] - demo.rPeaks[b - 1]) / 200.0;
        EXPECT_GT(interval, 0.5);
        EXPECT_LT(interval, 1.5);
    }
    // The artifact (recorded - clean) is near zero just before a beat and
    // large a quarter second after it, on every channel.
    for (std::size_t c = 0; c < 3; ++c) {
        double before = 0, after = 0;
        for (std::size_t b = 1; b + 1 < demo.rPeaks.size(); ++b) {
            const int32_t peak = demo.rPeaks[b];
            before += std::fabs(demo.recorded[c][peak - 30] - demo.clean[c][peak - 30]);
            for (int lag = 30; lag < 110; ++lag)
                after =
                    std::max(after, std::fabs(static_cast<double>(demo.recorded[c][peak + lag]) -
                                              demo.clean[c][peak + lag]));
        }
        EXPECT_LT(before / demo.rPeaks.size(), 1.0) << c;
        EXPECT_GT(after, 20.0) << c;
    }
    // The same seed gives the same recording; another seed another one.
    EXPECT_EQ(generateDemoRecording(settings).recorded[1], demo.recorded[1]);
    settings.seed = 2;
    EXPECT_NE(generateDemoRecording(settings).recorded[1], demo.recorded[1]);
}

// The generate command streams the demo's channels; they are the demo's.
TEST(DemoRecording, ChannelByChannelIsTheSameRecording) {
    DemoSettings settings;
    settings.channelCount = 3;
    settings.samplingRate = 100;
    settings.durationSeconds = 20;
    const DemoRecording whole = generateDemoRecording(settings);
    DemoRecording timing;
    int seen = 0;
    EXPECT_TRUE(generateDemoChannels(
        settings, timing,
        [&](int channel, const std::vector<float>& clean, const std::vector<float>& recorded) {
            EXPECT_EQ(channel, seen++);
            EXPECT_EQ(clean, whole.clean[channel]);
            EXPECT_EQ(recorded, whole.recorded[channel]);
            return true;
        }));
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(timing.rPeaks, whole.rPeaks);
    EXPECT_FALSE(generateDemoChannels(settings, timing,
                                      [](int, const auto&, const auto&) { return false; }));
}

TEST(ArtifactFigures, ResidualPowerInDecibels) {
    const std::vector<float> clean = {0, 0, 0, 0};
    const std::vector<float> recorded = {10, -10, 10, -10};
    EXPECT_NEAR(residualDecibels(clean, recorded, {1, -1, 1, -1}), -20.0, 1e-9);
    EXPECT_NEAR(residualDecibels(clean, recorded, recorded), 0.0, 1e-12);
    EXPECT_EQ(residualDecibels(clean, recorded, clean), -INFINITY);
    ArtifactReduction reduction =
        measureArtifactReduction({clean, clean, clean}, {recorded, recorded, recorded},
                                 {{1, -1, 1, -1}, recorded, {0.1f, -0.1f, 0.1f, -0.1f}});
    EXPECT_NEAR(reduction.medianDecibels, -20.0, 1e-6);
    EXPECT_NEAR(reduction.worstDecibels, 0.0, 1e-9);
    EXPECT_EQ(reduction.worstChannel, 2);
}

}  // namespace
