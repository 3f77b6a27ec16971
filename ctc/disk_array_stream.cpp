#include "ctc/disk_array_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "ctc/ctc_format.h"

namespace ctc {

namespace {

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

void releaseStream(DiskArrayStream* stream) {
    delete[] stream->block;
    delete stream;
}

// Records an opened stream and the array's shape.
void adoptStream(DiskArray& array, DiskArrayStream* stream, const char* path, uint64_t dataStart,
                 uint32_t elementSize, uint64_t elementCount, uint32_t flags) {
    copyPath(array.Path, path);
    array.Flags = (flags & kDiskArrayKeptFlags) | kDiskArrayOpen;
    array.Stream = stream;
    array.DataStart = dataStart;
    array.ElementSize = elementSize;
    array.ElementCount = elementCount;
}

// Byte span of a transfer, or false when it leaves the array or its byte
// count does not fit the int result.
bool transferSpan(const DiskArray& array, uint64_t firstElement, uint32_t count, uint64_t& position,
                  size_t& bytes) {
    uint64_t end = 0;
    if (!isOpenArray(array) || count > INT_MAX || !addChecked(firstElement, count, end) ||
        end > array.ElementCount) {
        return false;
    }
    bytes = static_cast<size_t>(count) * array.ElementSize;
    return elementBytePosition(array.DataStart, firstElement, array.ElementSize, position);
}

}  // namespace

bool isOpenArray(const DiskArray& array) {
    return (array.Flags & kDiskArrayOpen) != 0 && array.Stream != nullptr;
}

void resetDiskArray(DiskArray& array) {
    std::memset(&array, 0, sizeof array);
    array.Stream = nullptr;
}

int openArrayStream(DiskArray& array, const char* path, uint64_t dataStart, uint64_t elementCount,
                    uint32_t flags, const StagingOptions& staging) {
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
    stream->staging = staging;
    bool usable = openExistingFile(path, writable ? FileAccess::ReadWrite : FileAccess::ReadOnly,
                                   stream->file);
    if (usable && writable) {
        usable = ensureLength(stream->file, path, requiredLength);
    } else if (usable) {
        uint64_t length = 0;
        usable = fileLength(stream->file, length) && length >= requiredLength;
    }
    if (!usable) {
        releaseStream(stream);
        return 0;
    }
    adoptStream(array, stream, path, dataStart, elementSize, elementCount, flags);
    return 1;
}

int closeArrayStream(DiskArray& array) {
    if (!isOpenArray(array)) return 1;
    DiskArrayStream* stream = array.Stream;
    // Nothing is synced: the close reports what the system reports, and a
    // sync of a freshly rewritten recording would cost seconds.
    bool intact = !stream->writeFailed;
    if (!closeFile(stream->file)) intact = false;
    releaseStream(stream);
    array.Stream = nullptr;
    array.Flags &= ~kDiskArrayOpen;
    return intact ? 1 : 0;
}

unsigned char* transferBlock(DiskArray& array, size_t bytes) {
    if (!isOpenArray(array) || bytes > kTransferBlockBytes) return nullptr;
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

int readElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination) {
    uint64_t position = 0;
    size_t bytes = 0;
    if (!transferSpan(array, firstElement, count, position, bytes)) return 0;
    if (!readAt(array.Stream->file, position, destination, bytes)) return 0;
    return static_cast<int>(count);
}

int writeElementsDirect(DiskArray& array, uint64_t firstElement, uint32_t count,
                        const void* source) {
    uint64_t position = 0;
    size_t bytes = 0;
    if (!transferSpan(array, firstElement, count, position, bytes) ||
        (array.Flags & kDiskArrayWritable) == 0) {
        return 0;
    }
    if (!writeAt(array.Stream->file, position, source, bytes)) {
        array.Stream->writeFailed = true;
        return 0;
    }
    return static_cast<int>(count);
}

}  // namespace ctc
