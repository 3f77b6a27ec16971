#pragma once

// The inside of a DiskArray's handle, shared by the array and the window
// access built on it. Anything that speeds up access to the file (the block
// buffer, the staged channel-major copy of an interleaved array) lives here,
// behind the DiskArray operations.

#include <cstddef>
#include <cstdint>

#include "ctc/disk_array.h"
#include "ctc/file_handle.h"

// Upper bound of the bytes one window transfer moves at a time, and so of
// the memory the direct window access holds besides the caller's window.
constexpr size_t kTransferBlockBytes = size_t{1} << 20;

namespace ctc {
struct StagedChannels;
}

struct DiskArrayStream {
    ctc::FileHandle file;
    char* directory = nullptr;       // of the file, for a scratch file beside it
    bool writeFailed = false;        // the close must report that data was lost
    unsigned char* block = nullptr;  // grows with the spans moved, up to kTransferBlockBytes
    size_t blockBytes = 0;
    // Made at the first strided window; null when it could not be had.
    ctc::StagedChannels* staged = nullptr;
    bool stagingTried = false;
};

namespace ctc {

// The block buffer of an open array, at least `bytes` (at most
// kTransferBlockBytes) long, or null when it cannot be allocated.
unsigned char* transferBlock(DiskArray& array, size_t bytes);

// Element transfers on the file itself, past any staged copy: for the
// staging and for the windows it does not hold. A failed write is recorded
// for the close.
int readElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination);
int writeElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count,
                        const void* source);

// A writable array of `elementCount` elements of `typeCode` in an unnamed
// scratch file in `directory`, gone once closed. 1 on success, 0 when the
// file cannot be had (no room for all of it, for one).
int openScratchArray(DiskArray& array, const char* directory, uint64_t elementCount,
                     uint32_t typeCode);

}  // namespace ctc
