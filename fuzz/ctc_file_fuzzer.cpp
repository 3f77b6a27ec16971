// Feeds arbitrary bytes to the CTC reader as a file: opens it in memory and
// in place, moves a few windows, and checks that both modes deliver the
// same samples and that an in-place open grows the file no further than its
// header promises. Interleaved files go in place through reordered spans,
// the smallest allowed: windows cross spans, and a window does not reorder
// megabytes of a sparse file that a corrupt header made long.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ctc/ctc_file.h"
#include "ctc/staged_channels.h"

namespace {

constexpr uint32_t kInMemory = 0;
constexpr uint32_t kWindowSamples = 64;
constexpr int kWindowCount = 5;

std::string folder;
std::string inputPath;

void removeInput() {
    unlink(inputPath.c_str());
    rmdir(folder.c_str());
}

bool prepareFolder() {
    if (!inputPath.empty()) return true;
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/ctc-fuzz-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) return false;
    folder = pattern;
    inputPath = folder + "/input.ctc";
    std::atexit(removeInput);
    return true;
}

// Always a new file: rewriting a truncated one makes some file systems
// flush it at the close, which would dominate the run time.
void writeInput(const uint8_t* data, size_t size) {
    unlink(inputPath.c_str());
    FILE* file = std::fopen(inputPath.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

uint64_t lengthOfInput() {
    FILE* file = std::fopen(inputPath.c_str(), "rb");
    if (file == nullptr) std::abort();
    std::fseek(file, 0, SEEK_END);
    const long length = std::ftell(file);
    std::fclose(file);
    return static_cast<uint64_t>(length);
}

struct Windows {
    float samples[kWindowCount][kWindowSamples];
    int results[kWindowCount];
};

// The first and last samples of the first and last channel, and the middle
// of a middle channel; each window is written back as read and read again.
void exerciseWindows(CtcFile& file, Windows& windows) {
    const uint32_t channels = file.NrOfChannels;
    const uint32_t samples = file.NrOfSamples;
    const uint32_t count = samples < kWindowSamples ? samples : kWindowSamples;
    const uint32_t lastChannel = channels == 0 ? 0 : channels - 1;
    const uint32_t middle = (samples - count) / 2;
    const uint32_t channel[kWindowCount] = {0, lastChannel, 0, lastChannel, channels / 2};
    const uint32_t first[kWindowCount] = {0, 0, samples - count, samples - count, middle};
    std::memset(&windows, 0, sizeof windows);
    for (int w = 0; w < kWindowCount; ++w) {
        float* window = windows.samples[w];
        windows.results[w] = readCtcChannel(window, file, channel[w], first[w], count);
        writeCtcChannel(window, file, channel[w], first[w], count);
        readCtcChannel(window, file, channel[w], first[w], count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!prepareFolder()) std::abort();

    writeInput(data, size);
    CtcFile inMemory;
    Windows memoryWindows;
    const int openedInMemory = openCtcFile(inMemory, inputPath.c_str(), kInMemory);
    if (openedInMemory == 1) {
        exerciseWindows(inMemory, memoryWindows);
        closeCtcFile(inMemory);
    }

    writeInput(data, size);
    ctc::StagingOptions shortestSpans;
    shortestSpans.spanSamples = ctc::kMinimumSpanSamples;
    CtcFile inPlace;
    if (openCtcFileWith(inPlace, inputPath.c_str(), kCtcOpenInPlace, shortestSpans) != 1) return 0;
    const DiskArray& array = *inPlace.DiskData;
    const uint64_t promised = array.DataStart + array.ElementCount * array.ElementSize;
    const uint64_t length = lengthOfInput();
    if (length > size && length > promised) std::abort();  // grown beyond the promise

    Windows diskWindows;
    exerciseWindows(inPlace, diskWindows);
    closeCtcFile(inPlace);
    // Where the data part was complete, both modes read the same stored bytes.
    if (openedInMemory == 1 &&
        std::memcmp(&memoryWindows, &diskWindows, sizeof memoryWindows) != 0) {
        std::abort();
    }
    return 0;
}
