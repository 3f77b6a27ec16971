#include "run/output_copy.h"

#include <cstdio>
#include <vector>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

// Large transfers: a recording is often gigabytes, and the copy is one of
// the run's longest steps.
constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;

#if defined(__linux__)

bool writeAll(int output, const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = write(output, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copyThroughBuffer(int input, int output) {
    std::vector<char> buffer(kCopyBufferBytes);
    for (;;) {
        ssize_t count = read(input, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) return true;
        if (!writeAll(output, buffer.data(), static_cast<std::size_t>(count))) return false;
    }
}

// The kernel copies without passing the bytes through the process (and
// shares the blocks where the file system can). File systems that cannot do
// it at all say so before anything is copied; then the bytes go through a
// buffer instead.
bool copyDescriptors(int input, int output) {
    bool copiedAny = false;
    for (;;) {
        ssize_t count = copy_file_range(input, nullptr, output, nullptr, std::size_t{1} << 30, 0);
        if (count > 0) {
            copiedAny = true;
            continue;
        }
        if (count == 0) return true;
        if (errno == EINTR) continue;
        bool unsupported =
            errno == ENOSYS || errno == EXDEV || errno == EOPNOTSUPP || errno == EINVAL;
        return unsupported && !copiedAny && copyThroughBuffer(input, output);
    }
}

// The copy's blocks are taken in one call before any byte is copied: a
// file system too full for the copy says so at once, and writing into blocks
// already held costs less than taking them page by page. A file system that
// cannot reserve just copies.
bool reserveLength(int output, off_t length) {
    if (length == 0) return true;
    int result;
    do {
        result = fallocate(output, 0, 0, length);
    } while (result != 0 && errno == EINTR);
    return result == 0 || errno == EOPNOTSUPP || errno == ENOSYS;
}

bool copyFile(const std::string& inputPath, const std::string& outputPath, bool* outputCreated) {
    int input = open(inputPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) return false;
    struct stat inputStatus;
    if (fstat(input, &inputStatus) != 0 || !S_ISREG(inputStatus.st_mode)) {
        close(input);
        return false;
    }
    int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (output < 0) {
        close(input);
        return false;
    }
    *outputCreated = true;
    bool copied = reserveLength(output, inputStatus.st_size) && copyDescriptors(input, output);
    struct stat outputStatus;
    copied =
        copied && fstat(output, &outputStatus) == 0 && outputStatus.st_size == inputStatus.st_size;
    close(input);
    if (close(output) != 0) copied = false;
    return copied;
}

#else

// C streams report every failure through their results, and fclose reports
// whether the buffered bytes reached the file.
bool transferAll(std::FILE* input, std::FILE* output) {
    std::vector<char> buffer(kCopyBufferBytes);
    for (;;) {
        std::size_t count = std::fread(buffer.data(), 1, buffer.size(), input);
        if (count > 0 && std::fwrite(buffer.data(), 1, count, output) != count) return false;
        if (count < buffer.size()) return std::ferror(input) == 0 && std::feof(input) != 0;
    }
}

bool copyFile(const std::string& inputPath, const std::string& outputPath, bool* outputCreated) {
    std::FILE* input = std::fopen(inputPath.c_str(), "rb");
    if (!input) return false;
    std::FILE* output = std::fopen(outputPath.c_str(), "wb");
    if (!output) {
        std::fclose(input);
        return false;
    }
    *outputCreated = true;
    bool copied = transferAll(input, output);
    std::fclose(input);
    if (std::fclose(output) != 0) copied = false;
    return copied;
}

#endif

}  // namespace

bool copyFileChecked(const std::string& inputPath, const std::string& outputPath) {
    bool outputCreated = false;
    bool copied = copyFile(inputPath, outputPath, &outputCreated);
    if (!copied && outputCreated) std::remove(outputPath.c_str());
    return copied;
}
