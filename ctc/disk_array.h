#pragma once

// An array of fixed-size elements that lives in a file from a byte offset on.

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

int openDiskArray(DiskArray& array, const char* path, uint64_t dataStart, uint32_t dimensionCount,
                  const uint32_t* extents, uint32_t flags);
// 1 when the final flush and close succeeded (or nothing was open), 0 otherwise.
int closeDiskArray(DiskArray& array);
// count on success, 0 on failure. Raw bytes, ElementSize * count.
int readDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination);
int writeDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, const void* source);
