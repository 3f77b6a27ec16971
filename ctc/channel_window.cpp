#include "ctc/channel_window.h"

#include <algorithm>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/staged_channels.h"

namespace ctc {

namespace {

// Samples of the window that one block can hold: a block always spans from
// one sample's element to another's, so with a stride wider than a block it
// holds a single element.
uint64_t samplesPerBlock(uint32_t elementSize, uint64_t stride) {
    const uint64_t blockElements = kTransferBlockBytes / elementSize;
    return stride >= blockElements ? 1 : 1 + (blockElements - 1) / stride;
}

// Calls move(firstElement, spanElements, firstSample, sampleCount) for every
// block of the window in turn; stops at the first failure.
template <typename Move>
bool forEachBlock(const DiskArray& array, const WindowSpan& span, Move move) {
    const uint64_t perBlock = samplesPerBlock(array.ElementSize, span.stride);
    for (uint64_t done = 0; done < span.count;) {
        const uint32_t samples =
            static_cast<uint32_t>(std::min<uint64_t>(span.count - done, perBlock));
        const uint64_t first = span.firstElement + done * span.stride;
        const uint32_t spanElements = static_cast<uint32_t>((samples - 1) * span.stride + 1);
        if (!move(first, spanElements, static_cast<uint32_t>(done), samples)) return false;
        done += samples;
    }
    return true;
}

bool movesRawFloats(const WindowSpan& span, const SampleConversion& conversion) {
    return span.stride == 1 && conversion.dataType == kDataTypeFloat;
}

// The staged copy serves the strided windows of an interleaved array; it is
// tried once, at the first such window, and without it the windows go to the
// file directly.
StagedChannels* stagedCopyFor(DiskArray& array, const WindowSpan& span) {
    if (span.stride <= 1 || (array.Flags & kDiskArrayOpen) == 0 || array.Stream == nullptr) {
        return nullptr;
    }
    DiskArrayStream& stream = *array.Stream;
    if (!stream.stagingTried) {
        stream.stagingTried = true;
        stream.staged = createStagedChannels(array, span.stride, kStagedSpanBytes);
    }
    return stream.staged;
}

}  // namespace

bool readWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                      float* samples) {
    if (movesRawFloats(span, conversion)) {
        return readElementsDirect(array, span.firstElement, span.count, samples) ==
               static_cast<int>(span.count);
    }
    const uint64_t strideBytes = span.stride * array.ElementSize;
    return forEachBlock(
        array, span,
        [&](uint64_t first, uint32_t elements, uint32_t firstSample, uint32_t sampleCount) {
            unsigned char* block = transferBlock(array, size_t{elements} * array.ElementSize);
            if (block == nullptr ||
                readElementsDirect(array, first, elements, block) != static_cast<int>(elements)) {
                return false;
            }
            decodeSamples(block, strideBytes, sampleCount, conversion, samples + firstSample);
            return true;
        });
}

bool writeWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples) {
    if (movesRawFloats(span, conversion)) {
        return writeElementsDirect(array, span.firstElement, span.count, samples) ==
               static_cast<int>(span.count);
    }
    const uint64_t strideBytes = span.stride * array.ElementSize;
    // A contiguous window covers its whole block, so nothing needs to be
    // read before it is overwritten.
    const bool patches = span.stride != 1;
    return forEachBlock(
        array, span,
        [&](uint64_t first, uint32_t elements, uint32_t firstSample, uint32_t sampleCount) {
            unsigned char* block = transferBlock(array, size_t{elements} * array.ElementSize);
            if (block == nullptr || (patches && readElementsDirect(array, first, elements, block) !=
                                                    static_cast<int>(elements))) {
                return false;
            }
            encodeSamples(samples + firstSample, sampleCount, conversion, block, strideBytes);
            return writeElementsDirect(array, first, elements, block) == static_cast<int>(elements);
        });
}

bool readWindowFromDisk(DiskArray& array, const WindowSpan& span,
                        const SampleConversion& conversion, float* samples) {
    StagedChannels* staged = stagedCopyFor(array, span);
    return staged != nullptr ? readStagedWindow(array, *staged, span, conversion, samples)
                             : readWindowDirect(array, span, conversion, samples);
}

bool writeWindowToDisk(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples) {
    StagedChannels* staged = stagedCopyFor(array, span);
    return staged != nullptr ? writeStagedWindow(array, *staged, span, conversion, samples)
                             : writeWindowDirect(array, span, conversion, samples);
}

void readWindowFromMemory(const unsigned char* elements, uint32_t elementSize,
                          const WindowSpan& span, const SampleConversion& conversion,
                          float* samples) {
    decodeSamples(elements + span.firstElement * elementSize, span.stride * elementSize, span.count,
                  conversion, samples);
}

void writeWindowToMemory(unsigned char* elements, uint32_t elementSize, const WindowSpan& span,
                         const SampleConversion& conversion, const float* samples) {
    encodeSamples(samples, span.count, conversion, elements + span.firstElement * elementSize,
                  span.stride * elementSize);
}

}  // namespace ctc
