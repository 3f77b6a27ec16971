#include "ctc/disk_array.h"

#include <cstring>

#include "ctc/ctc_format.h"
#include "ctc/disk_array_stream.h"
#include "ctc/staged_channels.h"

using namespace ctc;

int openDiskArray(DiskArray& array, const char* path, uint64_t dataStart, uint32_t dimensionCount,
                  const uint32_t* extents, uint32_t flags, const StagingOptions& staging) {
    resetDiskArray(array);
    if (dimensionCount < 1 || dimensionCount > 8 || extents == nullptr) return 0;
    uint64_t elementCount = 1;
    for (uint32_t dimension = 0; dimension < dimensionCount; ++dimension) {
        if (!multiplyChecked(elementCount, extents[dimension], elementCount)) return 0;
    }
    if (openArrayStream(array, path, dataStart, elementCount, flags, staging) == 0) return 0;
    array.DimensionCount = dimensionCount;
    std::memcpy(array.Extents, extents, dimensionCount * sizeof extents[0]);
    return 1;
}

int openDiskArrayElements(DiskArray& array, const char* path, uint64_t dataStart,
                          uint64_t elementCount, uint32_t flags, const StagingOptions& staging) {
    resetDiskArray(array);
    if (openArrayStream(array, path, dataStart, elementCount, flags, staging) == 0) return 0;
    array.DimensionCount = 1;
    array.Extents[0] = elementCount <= UINT32_MAX ? static_cast<uint32_t>(elementCount) : 0;
    return 1;
}

int closeDiskArray(DiskArray& array) {
    if (!isOpenArray(array)) return 1;
    DiskArrayStream& stream = *array.Stream;
    bool intact = true;
    if (stream.staged != nullptr) {
        intact = writeBackStagedChannels(array, *stream.staged);
        releaseStagedChannels(stream.staged);
        stream.staged = nullptr;
    }
    return closeArrayStream(array) == 1 && intact ? 1 : 0;
}

// Raw transfers see and change the elements in their stored order, so every
// reordered span is put back first.
int readDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, void* destination) {
    if (isOpenArray(array) && array.Stream->staged != nullptr &&
        !writeBackStagedChannels(array, *array.Stream->staged)) {
        return 0;
    }
    return readElementsDirect(array, firstElement, count, destination);
}

int writeDiskElements(DiskArray& array, uint64_t firstElement, uint32_t count, const void* source) {
    if (isOpenArray(array) && array.Stream->staged != nullptr &&
        !writeBackStagedChannels(array, *array.Stream->staged)) {
        return 0;
    }
    return writeElementsDirect(array, firstElement, count, source);
}
