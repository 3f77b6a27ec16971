#pragma once

// A channel-major copy of an interleaved (sample-major) array, kept in an
// unnamed scratch file beside the array's file.
//
// One channel of an interleaved file read straight from the file moves the
// bytes of every channel, so the correction, which walks one channel after
// the other through the whole recording, would pass over the file once per
// channel and window: its cost would grow with the square of the channel
// count. The copy is made span by span: a span of samples is read from the
// file once, for all channels, at the first window that needs it, and every
// later window of any channel is one contiguous transfer of the copy. Spans
// whose samples changed go back to the file in one pass each when the array
// is closed, or before a raw element transfer would see the file's stale
// bytes.
//
// Memory: two span buffers of a fixed size, whatever the file's length.
// Disk: the scratch file, as long as the data part with each channel rounded
// up to 64 KiB; where the file system (or the process's file size limit)
// cannot hold it, there is no copy and the windows go to the file directly.
// The layer is the file's only writer while it is open; a file cut behind its
// back fails the windows that reach beyond the new end, as direct transfers
// would.

#include <cstdint>

#include "ctc/direct_window.h"
#include "ctc/disk_array_record.h"
#include "ctc/sample_codec.h"

namespace ctc {

struct StagedChannels;

// Bytes of one span of the file (all channels), and so of each of the two
// span buffers. Measured on interleaved recordings of 8 and 64 channels at
// 5 kHz: 2 to 4 MiB is fastest; larger spans cost more first touches of the
// buffers, smaller ones more transfers per window.
constexpr uint64_t kStagedSpanBytes = uint64_t{4} << 20;
// Sample rows so wide that a span of kStagedSpanBytes would hold fewer samples
// than this are not staged, and no span is shorter: the copy would cost more
// transfers than it saves.
constexpr uint64_t kMinimumSpanSamples = 256;

// The copy for `array`, whose elements hold `channelCount` channels per
// sample, in spans of `spanSamples` samples (0: as many as kStagedSpanBytes
// hold); null when it cannot be had. Nothing is read until a window needs it.
StagedChannels* createStagedChannels(DiskArray& array, uint64_t channelCount, uint64_t spanSamples);
// Releases the copy without writing anything back.
void releaseStagedChannels(StagedChannels* staged);

// A window of one channel (span.stride == the channel count). A span that the
// scratch file cannot take is moved directly. False when a transfer failed;
// a failed write is recorded for the close.
bool readStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                      const SampleConversion& conversion, float* samples);
bool writeStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                       const SampleConversion& conversion, const float* samples);

// Writes every changed span back into the array's file. False when any span
// could not be written back; such spans stay changed, for a later attempt.
bool writeBackStagedChannels(DiskArray& array, StagedChannels& staged);

// Drops the copy of the spans that elements [firstElement, firstElement +
// count) of the array fall into, after a raw write to them. The spans must
// have been written back before.
void forgetStagedElements(StagedChannels& staged, uint64_t firstElement, uint64_t count);

}  // namespace ctc
