#pragma once

// Moving a window of one channel between the elements in the file and the
// caller's floats, directly: `count` elements from `firstElement` on,
// `stride` elements apart (1 when the channel's samples are contiguous, C
// when the channels of one sample are).

#include <cstdint>

#include "ctc/disk_array_record.h"
#include "ctc/sample_codec.h"

namespace ctc {

struct WindowSpan {
    uint64_t firstElement;
    uint64_t stride;
    uint32_t count;
};

// The span is moved in bounded blocks: a strided window costs a few large
// transfers instead of one per sample, and the memory used besides the
// caller's buffer stays one block whatever the file's length. Writes patch
// the other channels' elements of a block back unchanged. False when a
// transfer failed; the destination is then incomplete.
bool readWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                      float* samples);
bool writeWindowDirect(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples);

}  // namespace ctc
