// Positions beyond 32 bits, writes lost to a full file system, files cut
// behind the layer's back, reorderings that cannot be had, and the
// refusals of the open and of the disk array that depend on the file system
// or the open mode rather than on the header's bytes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "ctc/ctc_format.h"
#include "ctc/staged_channels.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

class CtcFailureTest : public TempFolderTest {};

// Bytes of the file at a 64-bit position, read without the layer under test.
Bytes bytesAt(const std::string& path, uint64_t position, size_t size) {
    Bytes bytes(size);
    std::ifstream stream(path, std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(position));
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    return stream ? bytes : Bytes{};
}

// 8-bit samples, two channels, more than 2^32 elements in all: a sparse file
// of a little over 4 GiB that occupies almost no disk space. The last window
// of channel 1 lies beyond 2^32 in both orderings.
TEST_F(CtcFailureTest, WindowsBeyondFourGigaElementsLandAtTheirBytes) {
    const uint32_t samples = 0x80000010u;
    for (uint32_t ordering : {1u, 2u}) {
        SCOPED_TRACE(ordering);
        CtcFields fields = ctcFields(4, ordering, 2, samples);
        fields.offsets = {0.0f, 1.0f};
        fields.scales = {1.0f, 1.0f};
        const Bytes header = headerBytes(fields);
        const std::string path = pathOf("sparse.ctc");
        writeFile(path, header);
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + 2ull * samples)), 0);
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        if (static_cast<uint64_t>(status.st_blocks) * 512 > (1u << 24)) {
            GTEST_SKIP() << "the temporary folder does not hold sparse files";
        }

        const uint32_t count = 8, firstSample = samples - count;
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<float> window(count), reread(count);
        for (uint32_t i = 0; i < count; ++i) window[i] = static_cast<float>(i) * 10.0f + 1.0f;
        ASSERT_EQ(writeCtcChannel(window.data(), file, 1, firstSample, count), 8);
        ASSERT_EQ(readCtcChannel(reread.data(), file, 1, firstSample, count), 8);
        EXPECT_EQ(reread, window);
        // A count that the int result cannot return is refused before any
        // transfer, even though the window lies inside the channel.
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 0x80000000u), 0);
        ASSERT_EQ(closeCtcFile(file), 1);

        for (uint64_t i = 0; i < count; ++i) {
            const uint64_t index = ordering == ctc::kOrderingChannelMajor
                                       ? uint64_t{samples} + firstSample + i
                                       : (firstSample + i) * 2 + 1;
            EXPECT_EQ(bytesAt(path, header.size() + index, 1), Bytes{static_cast<uint8_t>(i * 10)})
                << i;
        }
        // Nothing wrapped around to the start of the data part.
        EXPECT_EQ(bytesAt(path, header.size(), 64), Bytes(64, 0));
    }
}

// Writes at or beyond `bytes` then fail with an error instead of ending
// the process.
void limitFileSize(uint64_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// Runs `body` in a forked child and returns whether it returned true there;
// for tests that change process limits.
bool passesInChild(const std::function<bool()>& body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) _exit(body() ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The process may write no byte at or beyond 128 KiB, and the files are
// 256 KiB long: four float channels of 16384 samples.
constexpr uint64_t kFileSizeLimit = 128 * 1024;
constexpr uint32_t kSamples = 16384;

struct LimitedWrites {
    const char* name;
    uint32_t ordering;
    bool limitBeforeTheFirstWindow;  // interleaved: the span cannot be reordered
    int lateOfChannel0;              // below the limit only where channels are contiguous
    int earlyOfChannel3;             // below the limit only in an interleaved file
    int lateOfChannel1;              // across the limit where channels are contiguous
};

bool reportsEveryLostWrite(const std::string& path, const LimitedWrites& expected) {
    CtcFile file;
    if (openCtcFile(file, path.c_str(), kCtcOpenInPlace) != 1) return false;
    std::vector<float> window(100, 7.0f), reread(100);
    if (expected.limitBeforeTheFirstWindow) limitFileSize(kFileSizeLimit);
    const bool readWorks = readCtcChannel(reread.data(), file, 3, kSamples - 100, 100) == 100;
    limitFileSize(kFileSizeLimit);
    const bool late0 =
        writeCtcChannel(window.data(), file, 0, kSamples - 100, 100) == expected.lateOfChannel0;
    const bool early3 = writeCtcChannel(window.data(), file, 3, 0, 100) == expected.earlyOfChannel3;
    const bool late1 =
        writeCtcChannel(window.data(), file, 1, kSamples - 100, 100) == expected.lateOfChannel1;
    // What a write accepted, later reads see, whether or not it reaches
    // the file in the end.
    const bool seen =
        expected.lateOfChannel0 == 0 ||
        (readCtcChannel(reread.data(), file, 0, kSamples - 100, 100) == 100 && reread == window);
    return readWorks && late0 && early3 && late1 && seen && closeCtcFile(file) == 0;
}

bool extensionIsRefused(const std::string& path) {
    limitFileSize(kFileSizeLimit);
    CtcFile file;
    testing::internal::CaptureStderr();
    const bool refused = openCtcFile(file, path.c_str(), kCtcOpenInPlace) == 0;
    return refused && testing::internal::GetCapturedStderr() ==
                          "Could not extend the file to the length its header gives.\n";
}

// Each failed write is reported by its window and by the close. An
// interleaved file whose single span was reordered before the limit came
// cannot be put back in rows across it: the close reports that too, and the
// file keeps FileVersion 0 so that no reader takes it for the recording. A
// span that cannot be reordered is left as it was and read directly.
TEST_F(CtcFailureTest, LostWritesAreReportedByTheTransferOrByTheClose) {
    const LimitedWrites cases[] = {
        {"contiguous", 1, false, 100, 0, 0},
        {"interleaved, reordered", 2, false, 100, 0, 0},
        {"interleaved, direct", 2, true, 0, 100, 0},
    };
    for (const LimitedWrites& c : cases) {
        SCOPED_TRACE(c.name);
        const CtcFields fields = ctcFields(1, c.ordering, 4, kSamples);
        const std::string path = writeCtcFile(pathOf("limited.ctc"), fields);
        EXPECT_TRUE(passesInChild([&] { return reportsEveryLostWrite(path, c); }));
        const bool leftReordered = c.ordering == 2 && !c.limitBeforeTheFirstWindow;
        const Bytes header = headerBytes(fields);
        EXPECT_EQ(bytesAt(path, 0, 4),
                  leftReordered ? Bytes(4, 0) : Bytes(header.begin(), header.begin() + 4));
    }
    const std::string path = pathOf("grow.ctc");
    writeFile(path, headerBytes(ctcFields(1, 1, 1, 1u << 20)));
    EXPECT_TRUE(passesInChild([&] { return extensionIsRefused(path); }));
    EXPECT_EQ(std::filesystem::file_size(path), 32u);
}

// A file cut behind the layer's back fails the windows that reach beyond its
// new end, also where a reordered span of an interleaved file still holds
// them; the spans it cut into cannot be put back, which the close reports,
// leaving FileVersion 0.
TEST_F(CtcFailureTest, WindowsBeyondTheEndOfACutFileFail) {
    const std::string path = pathOf("cut.ctc");
    // One channel is contiguous in either ordering; three interleaved are reordered.
    const std::pair<uint32_t, uint32_t> shapes[] = {{1, 1}, {2, 3}};  // ordering, channels
    for (const auto& [ordering, channels] : shapes) {
        SCOPED_TRACE(std::to_string(ordering) + "/" + std::to_string(channels));
        const CtcFields fields = ctcFields(1, ordering, channels, 1000);
        writeCtcFile(path, fields);
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<float> window(300);
        ASSERT_EQ(readCtcChannel(window.data(), file, 0, 0, 300), 300);  // reorders everything
        ASSERT_EQ(truncate(path.c_str(), headerBytes(fields).size() + 100 * channels * 4), 0);
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 100), 100);
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 50, 200), 0);
        if (channels > 1) {
            EXPECT_EQ(writeCtcChannel(window.data(), file, 1, 50, 200), 0);
        }
        EXPECT_EQ(closeCtcFile(file), channels == 1 ? 1 : 0);
        EXPECT_EQ(bytesAt(path, 0, 4) == Bytes(4, 0), channels > 1);
    }
}

// Spans so long that their buffers cannot be had (64 GiB each, over a sparse
// file): no reordering, and the array goes on working directly. A shape or a
// transfer whose size wraps around is refused.
TEST_F(CtcFailureTest, ReorderingWhoseBuffersCannotBeHadIsRefused) {
    const std::string path = pathOf("huge.bin");
    const uint32_t extents[2] = {4, 0xFFFFFFFFu};
    // 2^64 + 2^32 elements: wrapped around, they would fit in the file.
    const uint32_t wrapping[4] = {65536, 65536, 641, 6700417};
    writeFile(path, Bytes(16, 0));
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(uint64_t{16} * extents[1])), 0);
    DiskArray array;
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 4, wrapping, 0x410), 0);
    ASSERT_EQ(openDiskArray(array, path.c_str(), 0, 2, extents, 0x410), 1);
    EXPECT_EQ(ctc::createStagedChannels(array, 4, uint64_t{1} << 36, false), nullptr);
    const float value = 2.5f;
    float reread = 0.0f;
    EXPECT_EQ(writeDiskElements(array, 4 * uint64_t{3000000000u} + 3, 1, &value), 1);
    EXPECT_EQ(readDiskElements(array, 4 * uint64_t{3000000000u} + 3, 1, &reread), 1);
    EXPECT_EQ(reread, value);
    EXPECT_EQ(readDiskElements(array, UINT64_MAX, 1, &reread), 0);
    EXPECT_EQ(closeDiskArray(array), 1);
}

// The refusals that depend on the open mode or on the file system; those of
// the header's fields are held to the reference reading in the corruption
// test.
TEST_F(CtcFailureTest, OpenRefusalsWithTheirMessages) {
    writeFile(pathOf("nosamples.ctc"), headerBytes(ctcFields(1, 1, 3, 0)));
    // 4 EiB of floats, beyond any file system; and a byte count beyond 64 bits.
    writeFile(pathOf("exabytes.ctc"), headerBytes(ctcFields(1, 1, 1u << 30, 1u << 30)));
    writeFile(pathOf("overflow.ctc"), headerBytes(ctcFields(1, 1, 0xFFFFFFFF, 0xFFFFFFFF)));
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
