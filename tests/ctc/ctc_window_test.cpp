#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "ctc/disk_array_stream.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

constexpr uint32_t kInMemory = 0;

class CtcWindowTest : public TempFolderTest {
protected:
    std::string makeFile(const CtcFields& fields, uint64_t elementCount, const std::string& name) {
        writeFile(pathOf(name), fileBytes(fields, elementCount));
        return pathOf(name);
    }
};

// Reads a window, writes new values and reads them back; in place only the
// window's elements change on disk, in memory the file stays untouched.
TEST_F(CtcWindowTest, RoundTripsEveryDataTypeOrderingAndMode) {
    const uint32_t samples = 40, channel = 1, firstSample = 5, count = 30;
    for (uint32_t dataType : {1u, 3u, 4u, 5u}) {
        for (uint32_t ordering : {1u, 2u}) {
            for (uint32_t openMode : {kCtcOpenInPlace, kInMemory}) {
                SCOPED_TRACE(std::to_string(dataType) + "/" + std::to_string(ordering) + "/" +
                             std::to_string(openMode));
                const CtcFields fields = ctcFields(dataType, ordering, 3, samples);
                const Bytes data = patternData(dataType, 3 * samples);
                const std::string path = makeFile(fields, 3 * samples, "round.ctc");
                const Bytes before = readFile(path);
                const float scale = dataType == 1 ? 1.0f : fields.scales[channel];
                const float offset = dataType == 1 ? 0.0f : fields.offsets[channel];

                CtcFile file;
                ASSERT_EQ(openCtcFile(file, path.c_str(), openMode), 1);
                std::vector<float> window(count);
                ASSERT_EQ(readCtcChannel(window.data(), file, channel, firstSample, count),
                          static_cast<int>(count));
                for (uint32_t i = 0; i < count; ++i) {
                    const uint64_t index =
                        continuousIndex(ordering, 3, samples, channel, firstSample + i);
                    const float stored = static_cast<float>(storedValue(data, dataType, index));
                    const float expected = dataType == 1 ? stored : stored * scale + offset;
                    ASSERT_EQ(window[i], expected) << "sample " << i;
                }

                std::vector<float> written(count);
                std::vector<int> steps(count);
                for (uint32_t i = 0; i < count; ++i) {
                    steps[i] = static_cast<int>(i * 7 % 50) - 25;
                    written[i] = static_cast<float>(steps[i]) * scale + offset;
                }
                ASSERT_EQ(writeCtcChannel(written.data(), file, channel, firstSample, count),
                          static_cast<int>(count));
                std::vector<float> reread(count);
                ASSERT_EQ(readCtcChannel(reread.data(), file, channel, firstSample, count),
                          static_cast<int>(count));
                EXPECT_EQ(reread, written);
                EXPECT_EQ(closeCtcFile(file), 1);

                const Bytes after = readFile(path);
                ASSERT_EQ(after.size(), before.size());
                if (openMode == kInMemory) {
                    EXPECT_EQ(after, before);
                    continue;
                }
                const Bytes header = headerBytes(fields);
                const Bytes afterData(after.begin() + header.size(), after.end());
                std::vector<bool> inWindow(3 * samples, false);
                for (uint32_t i = 0; i < count; ++i) {
                    const uint64_t index =
                        continuousIndex(ordering, 3, samples, channel, firstSample + i);
                    inWindow[index] = true;
                    const double expected = dataType == 1 ? written[i] : steps[i];
                    EXPECT_EQ(storedValue(afterData, dataType, index), expected) << i;
                }
                for (uint64_t index = 0; index < 3 * samples; ++index) {
                    if (inWindow[index]) continue;
                    ASSERT_EQ(storedValue(afterData, dataType, index),
                              storedValue(data, dataType, index))
                        << "element " << index << " outside the window changed";
                }
            }
        }
    }
}

// Windows of ordering 2 that span several transfer blocks, and channels so
// far apart that each block holds a single sample.
TEST_F(CtcWindowTest, SampleMajorWindowsAcrossTransferBlocks) {
    struct Case {
        uint32_t dataType;
        uint32_t channels;
        uint32_t samples;
        uint32_t channel;
        uint32_t firstSample;
    };
    const Case cases[] = {
        {1, 5, 120000, 2, 1000},    // about 2.3 MiB of span
        {3, 7, 160000, 6, 3},       // 16-bit, span beyond two blocks
        {1, 300000, 3, 299999, 0},  // stride wider than a block
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channels);
        CtcFields fields = ctcFields(c.dataType, 2, c.channels, c.samples);
        fields.offsets.assign(c.channels, 0.0f);
        fields.scales.assign(c.channels, 1.0f);
        const uint64_t elements = uint64_t{c.channels} * c.samples;
        const Bytes data = patternData(c.dataType, elements);
        const std::string path = makeFile(fields, elements, "blocks.ctc");
        const uint32_t count = c.samples - c.firstSample;
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<float> window(count);
        ASSERT_EQ(readCtcChannel(window.data(), file, c.channel, c.firstSample, count),
                  static_cast<int>(count));
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t index = uint64_t{c.firstSample + i} * c.channels + c.channel;
            ASSERT_EQ(window[i], static_cast<float>(storedValue(data, c.dataType, index))) << i;
        }
        for (uint32_t i = 0; i < count; ++i) window[i] = static_cast<float>(i % 1000);
        ASSERT_EQ(writeCtcChannel(window.data(), file, c.channel, c.firstSample, count),
                  static_cast<int>(count));
        // Besides the caller's window the layer holds one bounded block.
        EXPECT_LE(file.DiskData->Stream->blockBytes, kTransferBlockBytes);
        ASSERT_EQ(closeCtcFile(file), 1);

        const Bytes after = readFile(path);
        const Bytes afterData(after.begin() + headerBytes(fields).size(), after.end());
        for (uint64_t index = 0; index < elements; ++index) {
            const uint64_t sample = index / c.channels;
            const bool written = index % c.channels == c.channel && sample >= c.firstSample;
            const double expected = written ? static_cast<double>((sample - c.firstSample) % 1000)
                                            : storedValue(data, c.dataType, index);
            ASSERT_EQ(storedValue(afterData, c.dataType, index), expected) << index;
        }
    }
}

TEST_F(CtcWindowTest, WindowBoundsAreRefusedSilently) {
    const std::string path = makeFile(ctcFields(3, 1, 3, 10), 30, "bounds.ctc");
    for (uint32_t openMode : {kCtcOpenInPlace, kInMemory}) {
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), openMode), 1);
        std::vector<float> window(11, 0.0f);
        struct Case {
            uint32_t channel, firstSample, count;
            int expected;
        };
        const Case cases[] = {
            {0, 0, 10, 10},        {2, 7, 3, 3},   // ends on the last sample
            {2, 8, 3, 0},          {3, 0, 1, 0},   // one beyond; channel == C
            {0, 0, 0, 0},          {0, 10, 0, 0},  // count 0 transfers nothing
            {0, 0xFFFFFFFF, 2, 0},                 // the sum must not wrap around
        };
        for (const Case& c : cases) {
            testing::internal::CaptureStderr();
            EXPECT_EQ(readCtcChannel(window.data(), file, c.channel, c.firstSample, c.count),
                      c.expected);
            EXPECT_EQ(writeCtcChannel(window.data(), file, c.channel, c.firstSample, c.count),
                      c.expected);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        }
        EXPECT_EQ(closeCtcFile(file), 1);
        // A closed record refuses windows instead of touching released memory.
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 1), 0);
    }
}

// Records that open but hold no window this layer can transfer; an unknown
// data type can only come from a record changed by its owner after the open.
TEST_F(CtcWindowTest, WindowsOfRecordsWithoutTransferableSamplesAreRefused) {
    CtcFields version0 = ctcFields(1, 1, 3, 4);
    version0.fileVersion = 0;
    CtcFields epoched = ctcFields(5, 3, 2, 6);
    epoched.trials = {2};
    epoched.pre = {1};
    epoched.post = {2};
    struct Case {
        CtcFields fields;
        uint64_t elements;
        uint32_t dataTypeAfterOpen;  // 0: as opened
        std::string message;         // printed by each of the read and the write
    };
    const Case cases[] = {
        {version0, 12, 0, ""},
        {ctcFields(4, 2, 3, 4), 12, 2, "Unsupported Datatype.\n"},
        {epoched, 12, 0, "Unsupported SampleOrdering for this function.\n"},
    };
    for (const Case& c : cases) {
        const std::string path = makeFile(c.fields, c.elements, "refused.ctc");
        for (uint32_t openMode : {kCtcOpenInPlace, kInMemory}) {
            SCOPED_TRACE(c.message + std::to_string(openMode));
            CtcFile file;
            ASSERT_EQ(openCtcFile(file, path.c_str(), openMode), 1);
            if (c.dataTypeAfterOpen != 0) file.DataType = c.dataTypeAfterOpen;
            float window[2] = {};
            testing::internal::CaptureStderr();
            EXPECT_EQ(readCtcChannel(window, file, 0, 0, 2), 0);
            EXPECT_EQ(writeCtcChannel(window, file, 0, 0, 2), 0);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message + c.message);
            EXPECT_EQ(closeCtcFile(file), 1);
        }
    }
}

TEST_F(CtcWindowTest, IntegerWritesTruncateInsideAndClampOutsideTheRange) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        uint32_t dataType;
        std::vector<float> written;
        std::vector<float> readBack;
    };
    const Case cases[] = {
        {3, {3.7f, -3.7f, 40000.0f, -40000.0f, nan, inf}, {3, -3, 32767, -32768, 0, 32767}},
        {4, {3.7f, -3.7f, 200.0f, -200.0f, nan, -inf}, {3, -3, 127, -128, 0, -128}},
    };
    for (const Case& c : cases) {
        for (uint32_t openMode : {kCtcOpenInPlace, kInMemory}) {
            SCOPED_TRACE(std::to_string(c.dataType) + "/" + std::to_string(openMode));
            CtcFields fields = ctcFields(c.dataType, 1, 1, 6);
            fields.offsets = {0.0f};
            fields.scales = {1.0f};
            const std::string path = makeFile(fields, 6, "clamp.ctc");
            CtcFile file;
            ASSERT_EQ(openCtcFile(file, path.c_str(), openMode), 1);
            ASSERT_EQ(writeCtcChannel(c.written.data(), file, 0, 0, 6), 6);
            std::vector<float> window(6);
            ASSERT_EQ(readCtcChannel(window.data(), file, 0, 0, 6), 6);
            EXPECT_EQ(window, c.readBack);
            EXPECT_EQ(closeCtcFile(file), 1);
        }
    }
}

TEST_F(CtcWindowTest, ShortFileIsExtendedInPlaceAndLongFileKeepsItsTail) {
    const CtcFields fields = ctcFields(3, 1, 3, 100);
    const Bytes full = fileBytes(fields, 300);
    const uint64_t fullLength = full.size();
    const uint64_t cut = headerBytes(fields).size() + 101;  // ends mid-element
    writeFile(pathOf("short.ctc"), Bytes(full.begin(), full.begin() + cut));
    CtcFile file;
    ASSERT_EQ(openCtcFile(file, pathOf("short.ctc").c_str(), kCtcOpenInPlace), 1);
    EXPECT_EQ(fileSize(pathOf("short.ctc")), fullLength);
    std::vector<float> window(100);
    ASSERT_EQ(readCtcChannel(window.data(), file, 2, 0, 100), 100);
    EXPECT_EQ(window[99], 0.5f);  // the appended part reads as stored zeros
    EXPECT_EQ(closeCtcFile(file), 1);

    Bytes longFile = full;
    const Bytes tail = {'t', 'a', 'i', 'l'};
    longFile.insert(longFile.end(), tail.begin(), tail.end());
    writeFile(pathOf("long.ctc"), longFile);
    ASSERT_EQ(openCtcFile(file, pathOf("long.ctc").c_str(), kCtcOpenInPlace), 1);
    window.assign(100, 1.0f);
    ASSERT_EQ(writeCtcChannel(window.data(), file, 2, 0, 100), 100);
    EXPECT_EQ(closeCtcFile(file), 1);
    const Bytes after = readFile(pathOf("long.ctc"));
    ASSERT_EQ(after.size(), fullLength + 4);
    EXPECT_EQ(Bytes(after.end() - 4, after.end()), tail);
}

TEST_F(CtcWindowTest, OpenRefusalsWithTheirMessages) {
    auto headerOnly = [&](const std::string& name, const CtcFields& fields) {
        writeFile(pathOf(name), headerBytes(fields));
        return name;
    };
    CtcFields base = ctcFields(1, 1, 3, 4);
    auto with = [&](uint32_t dataType, uint32_t ordering) {
        CtcFields fields = base;
        fields.dataType = dataType;
        fields.ordering = ordering;
        return fields;
    };
    CtcFields noSamples = base;
    noSamples.samples = 0;
    CtcFields exabytes = base;
    exabytes.channels = 1u << 30;  // 4 EiB of floats: more than any file system holds
    exabytes.samples = 1u << 30;
    CtcFields beyondSixtyFourBits = base;
    beyondSixtyFourBits.channels = 0xFFFFFFFF;
    beyondSixtyFourBits.samples = 0xFFFFFFFF;
    CtcFields hugeOffsets = with(3, 1);
    hugeOffsets.channels = 100000;
    writeFile(pathOf("empty.ctc"), {});
    std::filesystem::create_directory(pathOf("folder.ctc"));

    const std::string notEnoughSpace =
        "Not enough free disk space to extend the file to the length its header gives.\n";
    struct Case {
        std::string name;
        uint32_t openMode;
        const char* message;
    };
    const Case cases[] = {
        {"missing.ctc", kCtcOpenInPlace, ""},
        {"folder.ctc", kInMemory, ""},
        {"empty.ctc", kCtcOpenInPlace, "SampleOrdering not yet supported.\n"},
        {headerOnly("type2.ctc", with(2, 1)), kInMemory, "Datatype not yet supported.\n"},
        {headerOnly("type6.ctc", with(6, 1)), kCtcOpenInPlace, "Datatype not yet supported.\n"},
        {headerOnly("type0.ctc", with(0, 1)), kCtcOpenInPlace, "Unsupported datatype.\n"},
        {headerOnly("order7.ctc", with(1, 7)), kInMemory, "SampleOrdering not yet supported.\n"},
        {headerOnly("order0.ctc", with(1, 0)), kCtcOpenInPlace,
         "SampleOrdering not yet supported.\n"},
        {headerOnly("nosamples.ctc", noSamples), kCtcOpenInPlace, ""},
        {headerOnly("exabytes.ctc", exabytes), kCtcOpenInPlace, notEnoughSpace.c_str()},
        {headerOnly("overflow.ctc", beyondSixtyFourBits), kCtcOpenInPlace, notEnoughSpace.c_str()},
        {"exabytes.ctc", kInMemory, "The data part reaches beyond the end of the file.\n"},
        {"overflow.ctc", kInMemory, "The data part reaches beyond the end of the file.\n"},
        {headerOnly("offsets.ctc", hugeOffsets), kInMemory,
         "The header arrays reach beyond the end of the file.\n"},
    };
    for (const Case& c : cases) {
        const std::string path = pathOf(c.name);
        const bool exists = std::filesystem::is_regular_file(path);
        const uint64_t lengthBefore = exists ? fileSize(path) : 0;
        CtcFile file;
        testing::internal::CaptureStderr();
        EXPECT_EQ(openCtcFile(file, path.c_str(), c.openMode), 0) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        if (exists) {
            EXPECT_EQ(fileSize(path), lengthBefore) << c.name << " changed length";
        }
    }
}

TEST_F(CtcWindowTest, HeaderFieldsAreOpenToTheCaller) {
    CtcFields fields = ctcFields(5, 2, 3, 7);
    fields.fileVersion = 9;
    fields.compressionType = 4;
    fields.compressionParams = {11, 12};
    fields.frequency = 2048.0f;
    const std::string path = makeFile(fields, 21, "fields.ctc");
    CtcFile file;
    ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
    EXPECT_STREQ(file.Path, path.c_str());
    EXPECT_EQ(file.FileVersion, 9u);
    EXPECT_EQ(file.CompressionType, 4u);
    EXPECT_EQ(file.NrOfCompressionParams, 2u);
    EXPECT_EQ(file.DataType, 5u);
    EXPECT_EQ(file.SampleOrdering, 2u);
    EXPECT_EQ(file.SamplingFrequency, 2048.0f);
    ASSERT_NE(file.DiskData, nullptr);
    EXPECT_EQ(file.DiskData->DataStart, headerBytes(fields).size());
    EXPECT_EQ(file.DiskData->Extents[0], 3u);
    EXPECT_EQ(file.DiskData->Extents[1], 7u);
    EXPECT_EQ(closeCtcFile(file), 1);
    EXPECT_EQ(file.DiskData, nullptr);
    EXPECT_EQ(file.ChannelScales, nullptr);
    EXPECT_EQ(file.NrOfChannels, 3u);  // scalar fields survive the close
}

}  // namespace
