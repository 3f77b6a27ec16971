// Where windows land: the element index of the epoched orderings, and a
// plain model of the data part that windows on every access path (contiguous,
// in memory, interleaved through spans reordered channel after channel in the
// file, and interleaved directly) are held to: every read sees every earlier
// write, and untouched bytes stay as they were.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/file_handle.h"
#include "ctc/staged_channels.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

// Each epoched ordering names its loops from slowest to fastest; counting
// through them in that order must visit consecutive indices from the
// block's start, which lies beyond 32 bits.
TEST(CtcElementIndex, EpochedOrderingsFollowTheirLoopOrder) {
    const uint64_t channels = 3, trials = 4, length = 5, start = 0x123456789ull;
    const ctc::CtcBlockShape block{start, trials, length};
    struct Loops {
        uint32_t ordering;
        int slowest, middle, fastest;  // 0 trial, 1 channel, 2 sample
    };
    const Loops orderings[] = {{3, 0, 1, 2}, {4, 0, 2, 1}, {5, 1, 2, 0}, {6, 2, 1, 0}};
    const uint64_t extent[3] = {trials, channels, length};
    for (const Loops& loops : orderings) {
        for (uint64_t n = 0; n < trials * channels * length; ++n) {
            uint64_t position[3];
            position[loops.fastest] = n % extent[loops.fastest];
            position[loops.middle] = n / extent[loops.fastest] % extent[loops.middle];
            position[loops.slowest] = n / extent[loops.fastest] / extent[loops.middle];
            ASSERT_EQ(ctc::ctcElementIndex(loops.ordering, channels, 0, block, position[0],
                                           position[1], position[2]),
                      start + n)
                << "ordering " << loops.ordering;
        }
    }
}

// The data part as the file should hold it, changed the plain way: stored
// elements encoded and decoded with the formulas written out once more.
struct DataModel {
    CtcFields fields;
    Bytes data;

    uint64_t index(uint32_t channel, uint32_t sample) const {
        if (fields.ordering == ctc::kOrderingChannelMajor)
            return uint64_t{channel} * fields.samples + sample;
        return uint64_t{sample} * fields.channels + channel;
    }
    float read(uint32_t channel, uint32_t sample) const {
        const double stored = storedValue(data, fields.dataType, index(channel, sample));
        if (fields.dataType == ctc::kDataTypeFloat) return static_cast<float>(stored);
        return static_cast<float>(stored) * fields.scales[channel] + fields.offsets[channel];
    }

    // Integer types keep the quotient truncated toward zero, their nearest
    // limit when it lies outside their range, and 0 for NaN.
    void write(uint32_t channel, uint32_t sample, float value) {
        const uint32_t dataType = fields.dataType;
        if (dataType == ctc::kDataTypeFloat)
            return storeValue(data, dataType, index(channel, sample), value);
        const float quotient = (value - fields.offsets[channel]) / fields.scales[channel];
        double stored = quotient;
        if (dataType != ctc::kDataTypeScaledFloat) {
            const double limit = dataType == ctc::kDataTypeInt16 ? 32767 : 127;
            stored = std::isnan(quotient) ? 0 : std::clamp(std::trunc(stored), -limit - 1, limit);
        }
        storeValue(data, dataType, index(channel, sample), stored);
    }
};

// A value that the stored type of `channel` can hold, or for integer types
// now and then one at or beyond its limits.
float valueFor(const CtcFields& fields, uint32_t channel, std::mt19937& random) {
    const float inf = std::numeric_limits<float>::infinity();
    const float edges[] = {127.5f,   -128.5f, 200.0f, 32767.9f, -32768.9f,
                           40000.0f, -1e30f,  inf,    -inf,     std::nanf("")};
    const bool integer =
        fields.dataType == ctc::kDataTypeInt16 || fields.dataType == ctc::kDataTypeInt8;
    const float limit = !integer                                 ? 1e6f
                        : fields.dataType == ctc::kDataTypeInt16 ? 30000.0f
                                                                 : 120.0f;
    float quotient = std::uniform_real_distribution<float>(-limit, limit)(random);
    if (integer && random() % 8 == 0) {
        quotient = edges[random() % std::size(edges)];
    }
    if (fields.dataType == ctc::kDataTypeFloat) return quotient;
    return quotient * fields.scales[channel] + fields.offsets[channel];
}

constexpr uint64_t kLayersChoice = 0;  // the production span
constexpr uint64_t kNoCopy = UINT64_MAX;

struct ModelCase {
    std::string name;
    uint32_t dataType;
    uint32_t ordering;
    uint32_t openMode;
    uint32_t channels;
    uint32_t samples;
    uint64_t spanSamples;  // of the reordering, or one of the two choices above
    bool staged;           // whether the file's spans are reordered
};

std::vector<ModelCase> modelCases() {
    std::vector<ModelCase> cases = {
        {"FloatThreeChannelsManySpans", 1, 2, kCtcOpenInPlace, 3, 1500, 256, true},
        {"ScaledFloatSevenChannelsUnevenSpans", 5, 2, kCtcOpenInPlace, 7, 1100, 300, true},
        {"Int16TwoChannels", 3, 2, kCtcOpenInPlace, 2, 2000, 256, true},
        {"Int8SixtyFourChannels", 4, 2, kCtcOpenInPlace, 64, 900, 257, true},
        {"FloatOneSpan", 1, 2, kCtcOpenInPlace, 5, 700, kLayersChoice, true},
        {"TwoChannelsOneSample", 1, 2, kCtcOpenInPlace, 2, 1, kLayersChoice, true},
        {"OneChannelIsContiguous", 5, 2, kCtcOpenInPlace, 1, 700, kLayersChoice, false},
        {"Int8FiveThousandChannels", 4, 2, kCtcOpenInPlace, 5000, 40, kLayersChoice, true},
        // Direct windows that span several transfer blocks, and rows wider
        // than a block.
        {"FloatThousandChannels", 1, 2, kCtcOpenInPlace, 1000, 1100, kLayersChoice, true},
        {"RowsTooWideToStage", 1, 2, kCtcOpenInPlace, 300000, 3, kLayersChoice, false},
    };
    // The staged cases again with direct transfers only.
    for (size_t i = 0, staged = cases.size(); i < staged; ++i) {
        if (!cases[i].staged) continue;
        cases.push_back(cases[i]);
        cases.back().name += "Direct";
        cases.back().spanSamples = kNoCopy;
        cases.back().staged = false;
    }
    for (uint32_t dataType : {1u, 3u, 4u, 5u}) {
        const std::string type = "Type" + std::to_string(dataType);
        cases.push_back({type + "Contiguous", dataType, 1, kCtcOpenInPlace, 3, 200, 0, false});
        for (uint32_t ordering : {1u, 2u}) {
            cases.push_back({type + "Ordering" + std::to_string(ordering) + "InMemory", dataType,
                             ordering, kInMemory, 3, 200, 0, false});
        }
    }
    return cases;
}

class WindowsMatchTheModel : public TempFolderTest,
                             public ::testing::WithParamInterface<ModelCase> {};

// Random windows of random channels, read and written in any order. Every
// read matches the model bit for bit, and so the windows through reordered
// spans equal those of the direct transfers, which the same cases repeat;
// while spans are reordered the file reads FileVersion 0, after the close it
// holds the model's bytes in place and its old bytes in memory, and no other
// file ever shows in the folder.
TEST_P(WindowsMatchTheModel, ReadsAndWrites) {
    const ModelCase& c = GetParam();
    const bool inPlace = c.openMode == kCtcOpenInPlace;
    const CtcFields fields = ctcFields(c.dataType, c.ordering, c.channels, c.samples);
    const std::string path = writeCtcFile(pathOf("model.ctc"), fields);
    const Bytes before = readBytes(path);
    const size_t headerLength = headerBytes(fields).size();
    DataModel model{fields, Bytes(before.begin() + headerLength, before.end())};

    // Spans short enough that a small file has many, or no copy at all.
    ctc::StagingOptions staging;
    staging.staged = c.spanSamples != kNoCopy;
    if (staging.staged) staging.spanSamples = c.spanSamples;
    CtcFile file;
    ASSERT_EQ(openCtcFileWith(file, path.c_str(), c.openMode, staging), 1);
    std::mt19937 random(c.channels * 7919u + c.samples);
    std::vector<float> window(c.samples + 1);
    std::vector<float> expected(c.samples);
    const uint32_t longest = std::min<uint32_t>(c.samples, 700);
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE(step);
        const uint32_t channel = random() % c.channels;
        const uint32_t count = 1 + random() % longest;
        const uint32_t placement = random() % 4;  // at the start, at the end, anywhere
        const uint32_t first = placement == 0   ? 0
                               : placement == 1 ? c.samples - count
                                                : random() % (c.samples - count + 1);
        if (random() % 2 == 0) {
            for (uint32_t i = 0; i < count; ++i) expected[i] = model.read(channel, first + i);
            ASSERT_EQ(readCtcChannel(window.data(), file, channel, first, count),
                      static_cast<int>(count));
            ASSERT_EQ(std::memcmp(window.data(), expected.data(), count * 4), 0);
        } else {
            for (uint32_t i = 0; i < count; ++i) {
                window[i] = valueFor(fields, channel, random);
                model.write(channel, first + i, window[i]);
            }
            ASSERT_EQ(writeCtcChannel(window.data(), file, channel, first, count),
                      static_cast<int>(count));
        }
    }
    // Windows that reach beyond the channel's end (or would, but for
    // wrapping around) and empty ones are refused silently, before any
    // transfer.
    const uint32_t beyond[][3] = {{c.channels - 1, c.samples - 1, 2},
                                  {c.channels, 0, 1},
                                  {0, c.samples, 0},
                                  {0, 0xFFFFFFFF, 2}};
    testing::internal::CaptureStderr();
    for (const auto& [channel, first, count] : beyond) {
        EXPECT_EQ(readCtcChannel(window.data(), file, channel, first, count), 0);
        EXPECT_EQ(writeCtcChannel(window.data(), file, channel, first, count), 0);
    }
    // A data type the windows cannot convert is refused with its message.
    file.DataType = ctc::kDataTypeReserved;
    EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 1), 0);
    EXPECT_EQ(writeCtcChannel(window.data(), file, 0, 0, 1), 0);
    file.DataType = c.dataType;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Unsupported Datatype.\nUnsupported Datatype.\n");
    if (inPlace) {
        EXPECT_EQ(file.DiskData->Stream->staged != nullptr, c.staged);
        EXPECT_EQ(readBytes(path)[0] == 0, c.staged);
    }
    const auto filesInFolder = [&] {
        return std::distance(std::filesystem::directory_iterator(folder()), {});
    };
    EXPECT_EQ(filesInFolder(), 1);
    EXPECT_EQ(closeCtcFile(file), 1);
    EXPECT_EQ(filesInFolder(), 1);
    // A closed record refuses windows instead of touching released memory.
    EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 1), 0);

    Bytes after = before;
    if (inPlace) std::copy(model.data.begin(), model.data.end(), after.begin() + headerLength);
    EXPECT_TRUE(readBytes(path) == after);
}

// Pieces that lie back to back in the file and apart in memory, more of
// them than one system call takes: a round trip keeps every byte and the
// gaps between the pieces, and a read beyond the end fails.
TEST(FilePieces, RoundTripAcrossCallsAndFailAtTheEnd) {
    TemporaryFolder folder;
    const std::string path = folder.file("pieces.bin");
    const size_t pieceSize = 7, pitch = 11, count = 600, start = 5;
    writeFile(path, Bytes(start + pieceSize * count, 0));
    Bytes source(pitch * count), back(pitch * count, 0xEE);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 31 + i / 251);
    ctc::FileHandle file;
    ASSERT_TRUE(ctc::openExistingFile(path.c_str(), ctc::FileAccess::ReadWrite, file));
    size_t written = 0;
    ASSERT_TRUE(ctc::writePiecesAt(file, start, source.data(), pieceSize, pitch, count, &written));
    EXPECT_EQ(written, pieceSize * count);
    ASSERT_TRUE(ctc::readPiecesAt(file, start, back.data(), pieceSize, pitch, count));
    for (size_t i = 0; i < back.size(); ++i) {
        ASSERT_EQ(back[i], i % pitch < pieceSize ? source[i] : 0xEE) << i;
    }
    const Bytes stored = readBytes(path);
    for (size_t i = 0; i < pieceSize * count; ++i) {
        ASSERT_EQ(stored[start + i], source[i / pieceSize * pitch + i % pieceSize]) << i;
    }
    EXPECT_FALSE(ctc::readPiecesAt(file, start + 1, back.data(), pieceSize, pitch, count));
}

INSTANTIATE_TEST_SUITE_P(Shapes, WindowsMatchTheModel, ::testing::ValuesIn(modelCases()),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return info.param.name;
                         });

}  // namespace
