#pragma once

// The record of an array of fixed-size elements that lives in a file from a
// byte offset on. Its operations are layered from the bottom up: element
// transfers on the file (disk_array_stream.h), windows moved directly
// (direct_window.h) or through a staged copy (staged_channels.h), and on top
// the array as a whole (disk_array.h) and the windows of a channel
// (channel_window.h).

#include <cstdint>

struct DiskArrayStream;  // the access layer's file handle

struct DiskArray {
    char Path[512];
    uint32_t Flags;  // bit 0 open; bits 4, 5 writable; bits 8..15 element type code
    DiskArrayStream* Stream;
    uint64_t DataStart;
    uint32_t ElementSize;
    uint32_t DimensionCount;
    uint32_t Extents[8];
    uint64_t ElementCount;
};

namespace ctc {

// How the strided windows of an array reach its file (see
// staged_channels.h). Every run uses the defaults; tests and the fuzzer ask
// for short spans, so that small files cross many of them, or for no
// reordering, so that the direct transfers meet the same windows.
struct StagingOptions {
    bool staged = true;         // through spans reordered channel after channel where possible
    uint64_t spanSamples = 0;   // samples per span; 0: as many as kStagedSpanBytes hold
    bool guardsHeader = false;  // the first four bytes read as zero while spans are reordered
};

}  // namespace ctc
