#pragma once

// Opening, closing and raw element transfers of a DiskArray; spans of the
// file reordered for the windows are put back in their order here.

#include <cstdint>

#include "ctc/disk_array_record.h"

// 1 on success, 0 on refusal. The extents (DimensionCount of them, fastest
// first) give the element count. A writable array on a file shorter than the
// array is made long enough by one resize of the file; when the missing
// length exceeds the free space of the file system, or the resize fails, the
// open is refused with one line on the standard error stream.
int openDiskArray(DiskArray& array, const char* path, uint64_t dataStart, uint32_t dimensionCount,
                  const uint32_t* extents, uint32_t flags, const ctc::StagingOptions& staging = {});
// The same for an array whose element count needs 64 bits; it is recorded as
// one dimension whose extent is kept only when it fits in 32 bits.
int openDiskArrayElements(DiskArray& array, const char* path, uint64_t dataStart,
                          uint64_t elementCount, uint32_t flags,
                          const ctc::StagingOptions& staging = {});
// 1 when the reordered spans (if any) were put back in their order, the
// close succeeded and no write failed before (or nothing was open), 0
// otherwise.
int closeDiskArray(DiskArray& array);
// count on success, 0 on failure. Raw bytes, ElementSize * count, of the
// file in its stored order: reordered spans are put back first.
int readDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination);
int writeDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, const void* source);
