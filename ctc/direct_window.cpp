#include "ctc/direct_window.h"

#include <algorithm>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"

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

}  // namespace ctc
