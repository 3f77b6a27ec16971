// Windows of interleaved files go through a staged channel-major copy in a
// scratch file. These tests hold it to a plain model of the data part and to
// the direct transfers it replaces: every read sees every earlier write, raw
// element transfers see the windows and the windows see them, untouched bytes
// stay as they were, and failed writes are reported at the latest by the
// close.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ctc/channel_window.h"
#include "ctc/ctc_file.h"
#include "ctc/disk_array_stream.h"
#include "ctc/staged_channels.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

class CtcStagingTest : public TempFolderTest {};

std::string makeFile(const std::string& path, const CtcFields& fields) {
    writeFile(path, fileBytes(fields, uint64_t{fields.channels} * fields.samples));
    return path;
}

// The data part as the file should hold it, changed the plain way: stored
// elements encoded and decoded with the formulas written out once more.
struct DataModel {
    CtcFields fields;
    Bytes data;

    uint32_t size() const { return elementBytes(fields.dataType); }
    uint64_t index(uint32_t channel, uint32_t sample) const {
        return uint64_t{sample} * fields.channels + channel;
    }

    float read(uint32_t channel, uint32_t sample) const {
        const double stored = storedValue(data, fields.dataType, index(channel, sample));
        if (fields.dataType == 1) return static_cast<float>(stored);
        return static_cast<float>(stored) * fields.scales[channel] + fields.offsets[channel];
    }

    // Values stay inside the stored type's range here; the limits are
    // tested with the direct transfers.
    void write(uint32_t channel, uint32_t sample, float value) {
        uint8_t* element = data.data() + index(channel, sample) * size();
        if (fields.dataType == 1) {
            std::memcpy(element, &value, 4);
            return;
        }
        const float quotient = (value - fields.offsets[channel]) / fields.scales[channel];
        if (fields.dataType == 5) {
            std::memcpy(element, &quotient, 4);
        } else if (fields.dataType == 3) {
            const int16_t stored = static_cast<int16_t>(quotient);
            std::memcpy(element, &stored, 2);
        } else {
            element[0] = static_cast<uint8_t>(static_cast<int8_t>(quotient));
        }
    }
};

// A value that the stored type of `channel` can hold.
float valueFor(const CtcFields& fields, uint32_t channel, std::mt19937& random) {
    const float limit = fields.dataType == 3 ? 30000.0f : fields.dataType == 4 ? 120.0f : 1e6f;
    std::uniform_real_distribution<float> quotient(-limit, limit);
    if (fields.dataType == 1) return quotient(random);
    return quotient(random) * fields.scales[channel] + fields.offsets[channel];
}

// Replaces the copy the first strided window would make: spans of
// `spanBytes` so that a small file has many, or none at all when 0.
void chooseCopy(CtcFile& file, uint64_t spanBytes) {
    DiskArrayStream& stream = *file.DiskData->Stream;
    stream.stagingTried = true;
    if (spanBytes != 0) {
        stream.staged = ctc::createStagedChannels(*file.DiskData, file.NrOfChannels, spanBytes);
        ASSERT_NE(stream.staged, nullptr);
    }
}

struct ModelCase {
    const char* name;
    uint32_t dataType;
    uint32_t channels;
    uint32_t samples;
    uint64_t spanSamples;  // 0: the layer's own choice
    bool staged;           // whether the layer's own choice stages
};

const ModelCase kModelCases[] = {
    {"FloatThreeChannelsManySpans", 1, 3, 1500, 256, true},
    {"ScaledFloatSevenChannelsUnevenSpans", 5, 7, 1100, 300, true},
    {"Int16TwoChannels", 3, 2, 2000, 256, true},
    {"Int8SixtyFourChannels", 4, 64, 900, 257, true},
    {"FloatThirtyThreeChannelsOddSpans", 1, 33, 700, 259, true},
    {"FloatOneSpan", 1, 5, 700, 0, true},
    {"TwoChannelsOneSample", 1, 2, 1, 0, true},
    {"OneChannelIsContiguous", 5, 1, 700, 0, false},
    {"FiveThousandChannels", 4, 5000, 40, 0, true},
    {"RowsTooWideToStage", 1, 9000, 3, 0, false},
};

class StagedWindowsMatchTheModel : public CtcStagingTest,
                                   public ::testing::WithParamInterface<ModelCase> {};

// Random windows of random channels, read and written in any order, plus
// raw element transfers, on two copies of one file: one through the staged
// copy, one with direct transfers only. Every read matches the model; after
// the close both files hold exactly the model's bytes.
TEST_P(StagedWindowsMatchTheModel, ReadsWritesAndRawTransfers) {
    const ModelCase& c = GetParam();
    const CtcFields fields = ctcFields(c.dataType, 2, c.channels, c.samples);
    const std::string stagedPath = makeFile(pathOf("staged.ctc"), fields);
    const std::string directPath = makeFile(pathOf("direct.ctc"), fields);
    const Bytes before = readFile(stagedPath);
    const size_t headerLength = headerBytes(fields).size();
    DataModel model{fields, Bytes(before.begin() + headerLength, before.end())};

    CtcFile staged;
    CtcFile direct;
    ASSERT_EQ(openCtcFile(staged, stagedPath.c_str(), kCtcOpenInPlace), 1);
    ASSERT_EQ(openCtcFile(direct, directPath.c_str(), kCtcOpenInPlace), 1);
    const uint64_t rowBytes = uint64_t{c.channels} * model.size();
    if (c.spanSamples != 0) chooseCopy(staged, c.spanSamples * rowBytes);
    chooseCopy(direct, 0);

    std::mt19937 random(c.channels * 7919u + c.samples);
    std::vector<float> window(c.samples);
    std::vector<float> expected(c.samples);
    Bytes raw;
    const uint32_t longest = std::min<uint32_t>(c.samples, 700);
    for (int step = 0; step < 400; ++step) {
        SCOPED_TRACE(step);
        const uint32_t channel = random() % c.channels;
        const uint32_t count = 1 + random() % longest;
        const uint32_t placement = random() % 4;  // at the start, at the end, anywhere
        const uint32_t first = placement == 0   ? 0
                               : placement == 1 ? c.samples - count
                                                : random() % (c.samples - count + 1);
        const uint32_t action = random() % 20;
        if (action < 9) {
            for (uint32_t i = 0; i < count; ++i) expected[i] = model.read(channel, first + i);
            for (CtcFile* file : {&staged, &direct}) {
                ASSERT_EQ(readCtcChannel(window.data(), *file, channel, first, count),
                          static_cast<int>(count));
                ASSERT_EQ(std::memcmp(window.data(), expected.data(), count * 4), 0);
            }
        } else if (action < 18) {
            for (uint32_t i = 0; i < count; ++i) {
                window[i] = valueFor(fields, channel, random);
                model.write(channel, first + i, window[i]);
            }
            ASSERT_EQ(writeCtcChannel(window.data(), staged, channel, first, count),
                      static_cast<int>(count));
            ASSERT_EQ(writeCtcChannel(window.data(), direct, channel, first, count),
                      static_cast<int>(count));
        } else {
            // Raw elements: a run of whole rows and a bit, read or overwritten.
            const uint64_t firstElement = model.index(channel, first);
            const uint32_t elements = static_cast<uint32_t>(
                std::min<uint64_t>(count * uint64_t{c.channels} / 2 + 1,
                                   uint64_t{c.channels} * c.samples - firstElement));
            raw.resize(size_t{elements} * model.size());
            uint8_t* modelBytes = model.data.data() + firstElement * model.size();
            if (action == 19) {
                // Elements taken from elsewhere in the file: valid values.
                const size_t from = (random() % (model.data.size() / model.size())) * model.size();
                for (size_t i = 0; i < raw.size(); ++i) {
                    raw[i] = model.data[(from + i) % model.data.size()];
                }
            }
            for (CtcFile* file : {&staged, &direct}) {
                if (action == 18) {
                    ASSERT_EQ(readDiskElements(*file->DiskData, firstElement, elements, raw.data()),
                              static_cast<int>(elements));
                    ASSERT_EQ(std::memcmp(raw.data(), modelBytes, raw.size()), 0);
                } else {
                    ASSERT_EQ(
                        writeDiskElements(*file->DiskData, firstElement, elements, raw.data()),
                        static_cast<int>(elements));
                }
            }
            if (action == 19) std::memcpy(modelBytes, raw.data(), raw.size());
        }
    }
    EXPECT_EQ(staged.DiskData->Stream->staged != nullptr, c.staged || c.spanSamples != 0);
    EXPECT_EQ(direct.DiskData->Stream->staged, nullptr);
    EXPECT_EQ(closeCtcFile(staged), 1);
    EXPECT_EQ(closeCtcFile(direct), 1);

    Bytes after = readFile(stagedPath);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + headerLength, after.begin()));
    EXPECT_TRUE(std::equal(model.data.begin(), model.data.end(), after.begin() + headerLength));
    EXPECT_EQ(readFile(directPath), after);
}

INSTANTIATE_TEST_SUITE_P(Shapes, StagedWindowsMatchTheModel, ::testing::ValuesIn(kModelCases),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return std::string(info.param.name);
                         });

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST_F(CtcStagingTest, ScratchFileNeverShowsInTheFolder) {
    const std::string path = makeFile(pathOf("rec.ctc"), ctcFields(1, 2, 4, 5000));
    CtcFile file;
    ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
    std::vector<float> window(100, 1.5f);
    ASSERT_EQ(writeCtcChannel(window.data(), file, 2, 4900, 100), 100);
    ASSERT_NE(file.DiskData->Stream->staged, nullptr);
    EXPECT_EQ(namesIn(folder()), std::vector<std::string>{"rec.ctc"});
    EXPECT_EQ(closeCtcFile(file), 1);
    EXPECT_EQ(namesIn(folder()), std::vector<std::string>{"rec.ctc"});
}

TEST_F(CtcStagingTest, ReadOnlyArrayReadsThroughTheCopyButRefusesWrites) {
    const std::string path = pathOf("array.bin");
    Bytes bytes = patternData(1, 3 * 400);
    writeFile(path, bytes);
    const uint32_t extents[2] = {3, 400};
    DiskArray array;
    ASSERT_EQ(openDiskArray(array, path.c_str(), 0, 2, extents, 0x400), 1);
    const ctc::WindowSpan span{3 * 10 + 2, 3, 50};
    const ctc::SampleConversion conversion{1, 1.0f, 0.0f};
    std::vector<float> window(50);
    ASSERT_TRUE(ctc::readWindowFromDisk(array, span, conversion, window.data()));
    ASSERT_NE(array.Stream->staged, nullptr);
    for (uint32_t i = 0; i < 50; ++i) {
        EXPECT_EQ(window[i], storedValue(bytes, 1, 3 * (10 + i) + 2)) << i;
    }
    EXPECT_FALSE(ctc::writeWindowToDisk(array, span, conversion, window.data()));
    EXPECT_EQ(closeDiskArray(array), 1);
    EXPECT_EQ(readFile(path), bytes);
}

// Spans so long that their buffers cannot be had (64 GiB each, over a sparse
// file): no copy, and the array goes on working directly.
TEST_F(CtcStagingTest, CopyWhoseBuffersCannotBeHadIsRefused) {
    const std::string path = pathOf("huge.bin");
    const uint32_t extents[2] = {4, 0xFFFFFFFFu};
    writeFile(path, Bytes(16, 0));
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(uint64_t{16} * extents[1])), 0);
    DiskArray array;
    ASSERT_EQ(openDiskArray(array, path.c_str(), 0, 2, extents, 0x410), 1);
    EXPECT_EQ(ctc::createStagedChannels(array, 4, uint64_t{1} << 40), nullptr);
    const float value = 2.5f;
    EXPECT_EQ(writeDiskElements(array, 4 * uint64_t{3000000000u} + 3, 1, &value), 1);
    float reread = 0.0f;
    EXPECT_EQ(readDiskElements(array, 4 * uint64_t{3000000000u} + 3, 1, &reread), 1);
    EXPECT_EQ(reread, value);
    EXPECT_EQ(closeDiskArray(array), 1);
}

// Four float channels of 16384 samples (256 KiB) and a file size limit of
// 128 KiB: channel 0 lies below the limit in the channel-major copy, but its
// late samples lie beyond it in the file.
constexpr uint32_t kLimitedSamples = 16384;
constexpr uint64_t kFileSizeLimit = 128 * 1024;

struct LimitedWrites {
    bool windowAfterTheLimit;  // the copy exists before the limit
    int lateWriteOfChannel0;   // beyond the limit in the file only
    int earlyWriteOfChannel3;  // beyond the limit in the copy only
};

bool reportsEveryLostWrite(const std::string& folder, const LimitedWrites& expected) {
    CtcFile file;
    if (openCtcFile(file, (folder + "/limited.ctc").c_str(), kCtcOpenInPlace) != 1) return false;
    std::vector<float> window(100, 7.0f);
    std::vector<float> reread(100);
    if (expected.windowAfterTheLimit) limitFileSize(kFileSizeLimit);
    if (readCtcChannel(reread.data(), file, 1, 0, 100) != 100) return false;
    if (!expected.windowAfterTheLimit) limitFileSize(kFileSizeLimit);
    const bool late = writeCtcChannel(window.data(), file, 0, kLimitedSamples - 100, 100) ==
                      expected.lateWriteOfChannel0;
    const bool early =
        writeCtcChannel(window.data(), file, 3, 0, 100) == expected.earlyWriteOfChannel3;
    // What a write accepted, later reads see, whether or not it reaches
    // the file in the end.
    const bool seen = expected.lateWriteOfChannel0 == 0 ||
                      (readCtcChannel(reread.data(), file, 0, kLimitedSamples - 100, 100) == 100 &&
                       reread == window);
    return late && early && seen && closeCtcFile(file) == 0;
}

TEST_F(CtcStagingTest, LostWritesAreReportedByTheWindowOrByTheClose) {
    const CtcFields fields = ctcFields(1, 2, 4, kLimitedSamples);
    makeFile(pathOf("limited.ctc"), fields);
    // With the copy, the late write of channel 0 is taken and fails only at
    // the close, when the copy goes back into the file; the write that the
    // copy itself cannot take fails at once.
    EXPECT_TRUE(passesInChild(
        [](const std::string& folder) {
            return reportsEveryLostWrite(folder, LimitedWrites{false, 100, 0});
        },
        folder()));
    // Without it (no room for the scratch file under the limit), the
    // windows go to the file directly and fail where the file does.
    makeFile(pathOf("limited.ctc"), fields);
    EXPECT_TRUE(passesInChild(
        [](const std::string& folder) {
            return reportsEveryLostWrite(folder, LimitedWrites{true, 0, 100});
        },
        folder()));
}

}  // namespace
