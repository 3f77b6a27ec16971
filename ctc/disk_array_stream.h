#pragma once

// The inside of a DiskArray's handle and the element transfers on the file
// itself. Anything that speeds up access to the file (the block buffer, the
// spans of an interleaved array reordered channel after channel) hangs off
// the stream;
// the layers above decide when to use it.

#include <cstddef>
#include <cstdint>

#include "ctc/disk_array_record.h"
#include "ctc/file_handle.h"

// Upper bound of the bytes one window transfer moves at a time, and so of
// the memory the direct window access holds besides the caller's window.
constexpr size_t kTransferBlockBytes = size_t{1} << 20;

namespace ctc {
struct StagedChannels;
}

struct DiskArrayStream {
    ctc::FileHandle file;
    bool writeFailed = false;        // the close must report that data was lost
    unsigned char* block = nullptr;  // grows with the spans moved, up to kTransferBlockBytes
    size_t blockBytes = 0;
    // Made at the first strided window; null when it could not be had.
    ctc::StagedChannels* staged = nullptr;
    bool stagingTried = false;
    ctc::StagingOptions staging;
};

namespace ctc {

bool isOpenArray(const DiskArray& array);

// Clears every field of the record: the state of an array that is not open.
void resetDiskArray(DiskArray& array);

// Opens the stream of an array of `elementCount` elements from `dataStart`
// on and records the shape, all but the dimensions. 1 on success, 0 on
// refusal (see openDiskArray).
int openArrayStream(DiskArray& array, const char* path, uint64_t dataStart, uint64_t elementCount,
                    uint32_t flags, const StagingOptions& staging);

// Closes the file and releases the stream, whose reordered spans (if any)
// must have been put back and released before. 1 when the close succeeded and no write failed
// before (or nothing was open), 0 otherwise.
int closeArrayStream(DiskArray& array);

// The block buffer of an open array, at least `bytes` (at most
// kTransferBlockBytes) long, or null when it cannot be allocated.
unsigned char* transferBlock(DiskArray& array, size_t bytes);

// Element transfers on the file itself, as its bytes lie: for the
// reordering and for the windows that go directly. A failed write is recorded
// for the close.
int readElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination);
int writeElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count,
                        const void* source);

}  // namespace ctc
