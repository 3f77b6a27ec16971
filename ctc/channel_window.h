#pragma once

// Moving a window of one channel between the stored elements and the
// caller's floats: `count` elements from `firstElement` on, `stride` elements
// apart (1 when the channel's samples are contiguous, C when the channels of
// one sample are).

#include <cstdint>

#include "ctc/disk_array.h"
#include "ctc/sample_codec.h"

namespace ctc {

struct WindowSpan {
    uint64_t firstElement;
    uint64_t stride;
    uint32_t count;
};

// On disk, a strided window (one channel of an interleaved array) goes to
// the array's staged channel-major copy when one can be had, and otherwise to
// the file directly. False when a transfer failed; the destination is then
// incomplete.
bool readWindowFromDisk(DiskArray& array, const WindowSpan& span,
                        const SampleConversion& conversion, float* samples);
bool writeWindowToDisk(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples);

// Directly, the span is moved in bounded blocks: a strided window costs a
// few large transfers instead of one per sample, and the memory used besides
// the caller's buffer stays one block whatever the file's length. Writes
// patch the other channels' elements of a block back unchanged.
bool readWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                      float* samples);
bool writeWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples);

void readWindowFromMemory(const unsigned char* elements, uint32_t elementSize,
                          const WindowSpan& span, const SampleConversion& conversion,
                          float* samples);
void writeWindowToMemory(unsigned char* elements, uint32_t elementSize, const WindowSpan& span,
                         const SampleConversion& conversion, const float* samples);

}  // namespace ctc
