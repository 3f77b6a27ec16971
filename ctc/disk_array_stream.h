#pragma once

// The inside of a DiskArray's handle, shared by the array and the window
// access built on it. Anything that speeds up access to the file (the block
// buffer now, a cache later) lives here, behind the DiskArray operations.

#include <cstddef>
#include <cstdint>

#include "ctc/disk_array.h"
#include "ctc/file_handle.h"

// Upper bound of the bytes one window transfer moves at a time, and so of
// the memory the access layer holds besides the caller's window.
constexpr size_t kTransferBlockBytes = size_t{1} << 20;

struct DiskArrayStream {
    ctc::FileHandle file;
    bool written = false;            // a sync is owed at the close
    bool writeFailed = false;        // the close must report that data was lost
    unsigned char* block = nullptr;  // grows with the spans moved, up to kTransferBlockBytes
    size_t blockBytes = 0;
};

namespace ctc {

// The block buffer of an open array, at least `bytes` (at most
// kTransferBlockBytes) long, or null when it cannot be allocated.
unsigned char* transferBlock(DiskArray& array, size_t bytes);

}  // namespace ctc
