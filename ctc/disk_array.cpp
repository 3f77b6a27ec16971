#include "ctc/disk_array.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"

namespace {

using namespace ctc;

void resetDiskArray(DiskArray& array) {
    std::memset(&array, 0, sizeof array);
    array.Stream = nullptr;
}

void copyPath(char (&destination)[512], const char* path) {
    std::strncpy(destination, path, sizeof destination - 1);
    destination[sizeof destination - 1] = '\0';
}

// Makes a writable file at least `requiredLength` long with one resize.
// Growing by more than the file system can hold would only fail later, in
// the middle of a run, so it is refused up front.
bool ensureLength(const FileHandle& file, const char* path, uint64_t requiredLength) {
    uint64_t length = 0;
    if (!fileLength(file, length)) return false;
    if (length >= requiredLength) return true;
    uint64_t freeBytes = 0;
    if (!freeSpaceOf(path, freeBytes) || requiredLength - length > freeBytes) {
        printMessage(kMessageNotEnoughSpace);
        return false;
    }
    if (!resizeFile(file, requiredLength)) {
        printMessage(kMessageExtendFailed);
        return false;
    }
    return true;
}

// Common tail of both opens, once the shape is known and checked.
int openWithCount(DiskArray& array, const char* path, uint64_t dataStart, uint64_t elementCount,
                  uint32_t flags) {
    const uint32_t typeCode = (flags >> kDiskArrayTypeShift) & 0xFF;
    const uint32_t elementSize = elementTypeSize(typeCode);
    uint64_t requiredLength = 0;
    if (path == nullptr || elementSize == 0 || elementCount == 0 ||
        !elementBytePosition(dataStart, elementCount, elementSize, requiredLength)) {
        return 0;
    }
    DiskArrayStream* stream = new (std::nothrow) DiskArrayStream;
    if (stream == nullptr) return 0;
    const bool writable = (flags & kDiskArrayWritable) != 0;
    bool usable = openExistingFile(path, writable ? FileAccess::ReadWrite : FileAccess::ReadOnly,
                                   stream->file);
    if (usable && writable) {
        usable = ensureLength(stream->file, path, requiredLength);
    } else if (usable) {
        uint64_t length = 0;
        usable = fileLength(stream->file, length) && length >= requiredLength;
    }
    if (!usable) {
        delete stream;
        return 0;
    }
    copyPath(array.Path, path);
    array.Flags = (flags & kDiskArrayKeptFlags) | kDiskArrayOpen;
    array.Stream = stream;
    array.DataStart = dataStart;
    array.ElementSize = elementSize;
    array.ElementCount = elementCount;
    return 1;
}

bool isOpen(const DiskArray& array) {
    return (array.Flags & kDiskArrayOpen) != 0 && array.Stream != nullptr;
}

// Byte span of a transfer, or false when it leaves the array or its byte
// count does not fit the int result.
bool transferSpan(const DiskArray& array, uint64_t firstElement, uint32_t count, uint64_t& position,
                  size_t& bytes) {
    uint64_t end = 0;
    if (!isOpen(array) || count > INT_MAX || !addChecked(firstElement, count, end) ||
        end > array.ElementCount) {
        return false;
    }
    bytes = static_cast<size_t>(count) * array.ElementSize;
    return elementBytePosition(array.DataStart, firstElement, array.ElementSize, position);
}

}  // namespace

int openDiskArray(DiskArray& array, const char* path, uint64_t dataStart, uint32_t dimensionCount,
                  const uint32_t* extents, uint32_t flags) {
    resetDiskArray(array);
    if (dimensionCount < 1 || dimensionCount > 8 || extents == nullptr) return 0;
    uint64_t elementCount = 1;
    for (uint32_t dimension = 0; dimension < dimensionCount; ++dimension) {
        if (!multiplyChecked(elementCount, extents[dimension], elementCount)) return 0;
    }
    if (openWithCount(array, path, dataStart, elementCount, flags) == 0) return 0;
    array.DimensionCount = dimensionCount;
    std::memcpy(array.Extents, extents, dimensionCount * sizeof extents[0]);
    return 1;
}

int openDiskArrayElements(DiskArray& array, const char* path, uint64_t dataStart,
                          uint64_t elementCount, uint32_t flags) {
    resetDiskArray(array);
    if (openWithCount(array, path, dataStart, elementCount, flags) == 0) return 0;
    array.DimensionCount = 1;
    array.Extents[0] = elementCount <= UINT32_MAX ? static_cast<uint32_t>(elementCount) : 0;
    return 1;
}

int closeDiskArray(DiskArray& array) {
    if (!isOpen(array)) return 1;
    DiskArrayStream* stream = array.Stream;
    bool intact = !stream->writeFailed;
    if (stream->written && !syncFile(stream->file)) intact = false;
    if (!closeFile(stream->file)) intact = false;
    delete[] stream->block;
    delete stream;
    array.Stream = nullptr;
    array.Flags &= ~kDiskArrayOpen;
    return intact ? 1 : 0;
}

int readDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination) {
    uint64_t position = 0;
    size_t bytes = 0;
    if (!transferSpan(array, firstElement, count, position, bytes)) return 0;
    if (!readAt(array.Stream->file, position, destination, bytes)) return 0;
    return static_cast<int>(count);
}

int writeDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, const void* source) {
    uint64_t position = 0;
    size_t bytes = 0;
    if (!transferSpan(array, firstElement, count, position, bytes) ||
        (array.Flags & kDiskArrayWritable) == 0) {
        return 0;
    }
    DiskArrayStream& stream = *array.Stream;
    stream.written = true;
    if (!writeAt(stream.file, position, source, bytes)) {
        stream.writeFailed = true;
        return 0;
    }
    return static_cast<int>(count);
}

namespace ctc {

unsigned char* transferBlock(DiskArray& array, size_t bytes) {
    if (!isOpen(array) || bytes > kTransferBlockBytes) return nullptr;
    DiskArrayStream& stream = *array.Stream;
    if (stream.blockBytes < bytes) {
        // Small windows keep a small buffer; a large one settles at the cap.
        const size_t grown = std::min(kTransferBlockBytes, std::max(bytes, 2 * stream.blockBytes));
        delete[] stream.block;
        stream.block = new (std::nothrow) unsigned char[grown];
        stream.blockBytes = stream.block == nullptr ? 0 : grown;
    }
    return stream.block;
}

}  // namespace ctc
