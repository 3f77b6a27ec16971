#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ctc/ctc_file.h"
#include "tests/ctc/ctc_test_files.h"

using namespace ctc_test;

namespace {

class CtcFailureTest : public TempFolderTest {};

// Bytes of the file at a 64-bit position, read without the layer under test.
Bytes bytesAt(const std::string& path, uint64_t position, size_t size) {
    Bytes bytes(size);
    const int descriptor = open(path.c_str(), O_RDONLY);
    const ssize_t moved = pread(descriptor, bytes.data(), size, static_cast<off_t>(position));
    close(descriptor);
    if (moved != static_cast<ssize_t>(size)) bytes.clear();
    return bytes;
}

// 8-bit samples, two channels, more than 2^32 elements in all: a sparse file
// of a little over 4 GiB that occupies almost no disk space. The last window
// of channel 1 lies beyond 2^32 in both orderings.
TEST_F(CtcFailureTest, WindowsBeyondFourGigaElementsLandAtTheirBytes) {
    const uint32_t samples = 0x80000010u;
    const uint64_t elements = 2ull * samples;
    for (uint32_t ordering : {1u, 2u}) {
        SCOPED_TRACE(ordering);
        CtcFields fields = ctcFields(4, ordering, 2, samples);
        fields.offsets = {0.0f, 1.0f};
        fields.scales = {1.0f, 1.0f};
        const Bytes header = headerBytes(fields);
        const std::string path = pathOf("sparse.ctc");
        writeFile(path, header);
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(header.size() + elements)), 0);
        struct stat status;
        ASSERT_EQ(stat(path.c_str(), &status), 0);
        if (static_cast<uint64_t>(status.st_blocks) * 512 > (1u << 24)) {
            GTEST_SKIP() << "the temporary folder does not hold sparse files";
        }

        const uint32_t count = 8, firstSample = samples - count;
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<float> window(count);
        for (uint32_t i = 0; i < count; ++i) window[i] = static_cast<float>(i) * 10.0f + 1.0f;
        ASSERT_EQ(writeCtcChannel(window.data(), file, 1, firstSample, count),
                  static_cast<int>(count));
        std::vector<float> reread(count);
        ASSERT_EQ(readCtcChannel(reread.data(), file, 1, firstSample, count),
                  static_cast<int>(count));
        EXPECT_EQ(reread, window);
        ASSERT_EQ(closeCtcFile(file), 1);

        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t sample = firstSample + i;
            const uint64_t index = ordering == 1 ? samples + sample : sample * 2 + 1;
            ASSERT_GT(index, 0xFFFFFFFFull);
            const Bytes stored = bytesAt(path, header.size() + index, 1);
            ASSERT_EQ(stored.size(), 1u);
            EXPECT_EQ(stored[0], i * 10) << "sample " << i;
        }
        // A count that the int result cannot return is refused before any
        // transfer, even though the window lies inside the channel.
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 0x80000000u), 0);
        EXPECT_EQ(closeCtcFile(file), 1);
        // Nothing wrapped around to the start of the data part.
        EXPECT_EQ(bytesAt(path, header.size(), 64), Bytes(64, 0));
        ASSERT_EQ(unlink(path.c_str()), 0);
    }
}

// The process may write no byte at or beyond 64 KiB.
constexpr uint64_t kFileSizeLimit = 64 * 1024;

// Windows of a contiguous file and raw elements of an array.
bool writesBeyondTheLimitAreReported(const std::string& folder) {
    limitFileSize(kFileSizeLimit);
    CtcFile file;
    if (openCtcFile(file, (folder + "/limited.ctc").c_str(), kCtcOpenInPlace) != 1) return false;
    std::vector<float> window(1024, 2.5f);
    const bool belowWorks = writeCtcChannel(window.data(), file, 0, 0, 1024) == 1024;
    const bool beyondFails = writeCtcChannel(window.data(), file, 0, 20000, 1024) == 0;
    const bool acrossFails = writeCtcChannel(window.data(), file, 0, 16000, 1024) == 0;
    const bool readStillWorks = readCtcChannel(window.data(), file, 0, 20000, 1024) == 1024;
    const bool closeReports = closeCtcFile(file) == 0;

    const uint32_t extent = 128 * 1024;
    DiskArray array;
    if (openDiskArray(array, (folder + "/array.bin").c_str(), 0, 1, &extent, 0x510) != 1) {
        return false;
    }
    const bool arrayWriteFails = writeDiskElements(array, 100000, 16, window.data()) == 0;
    const bool arrayCloseReports = closeDiskArray(array) == 0 && closeDiskArray(array) == 1;
    return belowWorks && beyondFails && acrossFails && readStillWorks && closeReports &&
           arrayWriteFails && arrayCloseReports;
}

TEST_F(CtcFailureTest, FailedWritesAreReportedByTheTransferAndByTheClose) {
    const uint32_t samples = 64 * 1024;  // 256 KiB of floats
    Bytes bytes = headerBytes(ctcFields(1, 1, 1, samples));
    bytes.resize(bytes.size() + samples * 4);
    writeFile(pathOf("limited.ctc"), bytes);
    writeFile(pathOf("array.bin"), Bytes(128 * 1024, 0));
    EXPECT_TRUE(passesInChild(writesBeyondTheLimitAreReported, folder()));
}

bool extensionBeyondTheLimitIsRefused(const std::string& folder) {
    const std::string path = folder + "/grow.ctc";
    limitFileSize(kFileSizeLimit);
    CtcFile file;
    testing::internal::CaptureStderr();
    const int opened = openCtcFile(file, path.c_str(), kCtcOpenInPlace);
    const std::string message = testing::internal::GetCapturedStderr();
    return opened == 0 && message == "Could not extend the file to the length its header gives.\n";
}

TEST_F(CtcFailureTest, ExtensionThatFailsRefusesTheOpen) {
    writeFile(pathOf("grow.ctc"), headerBytes(ctcFields(1, 1, 1, 1u << 20)));
    EXPECT_TRUE(passesInChild(extensionBeyondTheLimitIsRefused, folder()));
    EXPECT_EQ(std::filesystem::file_size(pathOf("grow.ctc")), 32u);
}

// A file cut behind the layer's back fails the windows that reach beyond its
// new end, also where the staged copy of an interleaved file still holds them.
TEST_F(CtcFailureTest, WindowsBeyondTheEndOfACutFileFail) {
    const std::string path = pathOf("cut.ctc");
    const std::pair<uint32_t, uint32_t> shapes[] = {{1, 1}, {2, 1}, {2, 3}};  // ordering, channels
    for (const auto& [ordering, channels] : shapes) {
        SCOPED_TRACE(std::to_string(ordering) + "/" + std::to_string(channels));
        const CtcFields fields = ctcFields(1, ordering, channels, 1000);
        writeFile(path, fileBytes(fields, channels * 1000));
        CtcFile file;
        ASSERT_EQ(openCtcFile(file, path.c_str(), kCtcOpenInPlace), 1);
        std::vector<float> window(300);
        ASSERT_EQ(readCtcChannel(window.data(), file, 0, 0, 300), 300);  // stages everything
        ASSERT_EQ(truncate(path.c_str(), headerBytes(fields).size() + 100 * channels * 4), 0);
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 0, 100), 100);
        EXPECT_EQ(readCtcChannel(window.data(), file, 0, 50, 200), 0);
        if (channels > 1) {
            EXPECT_EQ(writeCtcChannel(window.data(), file, 1, 50, 200), 0);
        }
        EXPECT_EQ(closeCtcFile(file), 1);  // nothing was written
    }
}

TEST_F(CtcFailureTest, DiskArrayRefusesBadShapesAndTransfers) {
    const std::string path = pathOf("array.bin");
    writeFile(path, Bytes(64, 0));
    const uint32_t extents[9] = {4, 2, 1, 1, 1, 1, 1, 1, 1};
    const uint32_t zero[1] = {0};
    const uint32_t huge[3] = {0xFFFFFFFF, 0xFFFFFFFF, 2};
    DiskArray array;
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 0, extents, 0x410), 0);
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 9, extents, 0x410), 0);
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 1, zero, 0x410), 0);
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 2, extents, 0x910), 0);  // type code 9
    EXPECT_EQ(openDiskArray(array, path.c_str(), 0, 3, huge, 0x010), 0);
    EXPECT_EQ(openDiskArray(array, path.c_str(), 8, 2, extents, 0x800), 0);  // read-only, short
    EXPECT_EQ(std::filesystem::file_size(path), 64u);

    ASSERT_EQ(openDiskArray(array, path.c_str(), 0, 8, extents, 0x801), 1);  // 8 x 8 bytes
    EXPECT_EQ(array.Flags, 0x801u);
    EXPECT_EQ(array.ElementCount, 8u);
    uint64_t values[8] = {};
    EXPECT_EQ(readDiskElements(array, 0, 8, values), 8);
    EXPECT_EQ(readDiskElements(array, 7, 2, values), 0);
    EXPECT_EQ(readDiskElements(array, UINT64_MAX, 2, values), 0);
    EXPECT_EQ(writeDiskElements(array, 0, 1, values), 0);  // not writable
    EXPECT_EQ(closeDiskArray(array), 1);
    EXPECT_EQ(readDiskElements(array, 0, 1, values), 0);  // closed

    ASSERT_EQ(openDiskArray(array, path.c_str(), 60, 1, extents, 0x0320), 1);  // 4 x 4 bytes
    EXPECT_EQ(std::filesystem::file_size(path), 76u);  // grown by one resize
    const uint32_t written[4] = {1, 2, 3, 4};
    EXPECT_EQ(writeDiskElements(array, 0, 4, written), 4);
    EXPECT_EQ(closeDiskArray(array), 1);
    EXPECT_EQ(bytesAt(path, 72, 4), Bytes({4, 0, 0, 0}));
}

}  // namespace
