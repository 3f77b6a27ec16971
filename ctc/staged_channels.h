#pragma once

// The channels of an interleaved (sample-major) array, reordered span by
// span in the file itself.
//
// One channel of an interleaved file read sample by sample moves the bytes
// of every channel, so the correction, which walks one channel after the
// other through the whole recording, would pass over the file once per
// channel and window: its cost would grow with the square of the channel
// count. Instead, a span of samples is reordered at the first window that
// needs it: its rows (sample after sample) are read once, for all channels,
// and written back to the same bytes channel after channel. Every later
// window of any channel is then one contiguous transfer per span it touches.
// When the array is closed, or before a raw element transfer would see the
// reordered bytes, every reordered span is put back in rows.
//
// The reordering costs no disk space and no second copy of the recording in
// memory or in the page cache, whose fresh pages cost more than the
// transfers themselves. While any span is reordered, and for good when one
// could not be put back, the file's first four bytes read as zero where the
// options ask for it: a CTC file's FileVersion, so that a file left so by a
// run that was killed, or whose put-back failed, is refused by every reader
// instead of being taken for the recording.
//
// Memory: two span buffers of a fixed size, whatever the file's length. The
// layer is the file's only writer while it is open; a file cut behind its
// back fails the windows that reach beyond the new end, as direct transfers
// would, and the spans it cut cannot be put back.

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
// than this are not reordered, and no span is shorter: the reordering would
// cost more transfers than it saves.
constexpr uint64_t kMinimumSpanSamples = 256;

// The reordering of `array`, whose elements hold `channelCount` channels per
// sample, in spans of `spanSamples` samples (0: as many as kStagedSpanBytes
// hold); null when its buffers cannot be had. Nothing is read until a window
// needs it.
StagedChannels* createStagedChannels(DiskArray& array, uint64_t channelCount, uint64_t spanSamples,
                                     bool guardsHeader);
// Releases the buffers; the spans must have been put back before.
void releaseStagedChannels(StagedChannels* staged);

// A window of one channel (span.stride == the channel count). False when a
// transfer failed; a failed write is recorded for the close.
bool readStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                      const SampleConversion& conversion, float* samples);
bool writeStagedWindow(DiskArray& array, StagedChannels& staged, const WindowSpan& span,
                       const SampleConversion& conversion, const float* samples);

// Puts every reordered span back in rows, then the guarded header bytes.
// False when any span could not be put back; such spans stay reordered, and
// the header guarded.
bool writeBackStagedChannels(DiskArray& array, StagedChannels& staged);

}  // namespace ctc
