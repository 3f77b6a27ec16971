#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "ctc/ctc_format.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

class CtcWindowTest : public TempFolderTest {};

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

TEST_F(CtcWindowTest, WindowBoundsAreRefusedSilently) {
    const std::string path = writeCtcFile(pathOf("bounds.ctc"), ctcFields(3, 1, 3, 10));
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
        // An unknown data type can only come from a record changed by its
        // owner after the open.
        file.DataType = 2;
        testing::internal::CaptureStderr();
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 2), 0);
        EXPECT_EQ(writeCtcChannel(window.data(), file, 0, 0, 2), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Unsupported Datatype.\nUnsupported Datatype.\n");
        file.DataType = 3;
        EXPECT_EQ(closeCtcFile(file), 1);
        // A closed record refuses windows instead of touching released memory.
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 1), 0);
    }
}

// The refusals that depend on the open mode or on the file system; those of
// the header's fields are held to the reference reading in the corruption
// test.
TEST_F(CtcWindowTest, OpenRefusalsWithTheirMessages) {
    writeFile(pathOf("nosamples.ctc"), headerBytes(ctcFields(1, 1, 3, 0)));
    // 4 EiB of floats, beyond any file system; and a byte count beyond 64 bits.
    writeFile(pathOf("exabytes.ctc"), headerBytes(ctcFields(1, 1, 1u << 30, 1u << 30)));
    writeFile(pathOf("overflow.ctc"), headerBytes(ctcFields(1, 1, 0xFFFFFFFF, 0xFFFFFFFF)));
    writeFile(pathOf("empty.ctc"), {});
    std::filesystem::create_directory(pathOf("folder.ctc"));

    const std::string notEnoughSpace =
        "Not enough free disk space to extend the file to the length its header gives.\n";
    struct Case {
        std::string name;
        uint32_t openMode;
        std::string message;
    };
    const Case cases[] = {
        {"missing.ctc", kCtcOpenInPlace, ""},
        {"folder.ctc", kInMemory, ""},
        {"empty.ctc", kCtcOpenInPlace, "SampleOrdering not yet supported.\n"},
        {"nosamples.ctc", kCtcOpenInPlace, ""},
        {"exabytes.ctc", kCtcOpenInPlace, notEnoughSpace},
        {"overflow.ctc", kCtcOpenInPlace, notEnoughSpace},
    };
    for (const Case& c : cases) {
        const std::string path = pathOf(c.name);
        const bool exists = std::filesystem::is_regular_file(path);
        const uint64_t lengthBefore = exists ? std::filesystem::file_size(path) : 0;
        CtcFile file;
        testing::internal::CaptureStderr();
        EXPECT_EQ(openCtcFile(file, path.c_str(), c.openMode), 0) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        if (exists) {
            EXPECT_EQ(std::filesystem::file_size(path), lengthBefore) << c.name;
        }
    }
}

}  // namespace
