#pragma once

// A window of one channel between the stored elements, on disk or in
// memory, and the caller's floats (spans as in direct_window.h).

#include <cstdint>

#include "ctc/direct_window.h"
#include "ctc/disk_array_record.h"
#include "ctc/sample_codec.h"

namespace ctc {

// On disk, a strided window (one channel of an interleaved array) goes to
// the array's staged channel-major copy when one can be had, and otherwise to
// the file directly. False when a transfer failed; the destination is then
// incomplete.
bool readWindowFromDisk(DiskArray& array, const WindowSpan& span,
                        const SampleConversion& conversion, float* samples);
bool writeWindowToDisk(DiskArray& array, const WindowSpan& span, const SampleConversion& conversion,
                       const float* samples);

void readWindowFromMemory(const unsigned char* elements, uint32_t elementSize,
                          const WindowSpan& span, const SampleConversion& conversion,
                          float* samples);
void writeWindowToMemory(unsigned char* elements, uint32_t elementSize, const WindowSpan& span,
                         const SampleConversion& conversion, const float* samples);

}  // namespace ctc
