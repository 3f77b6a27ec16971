#include "ctc/ctc_file.h"

#include <climits>
#include <cstring>
#include <new>

#include "ctc/channel_window.h"
#include "ctc/ctc_format.h"
#include "ctc/ctc_header.h"
#include "ctc/file_handle.h"

using namespace ctc;

namespace {

bool readFromHandle(const void* context, uint64_t position, void* destination, size_t size) {
    return readAt(*static_cast<const FileHandle*>(context), position, destination, size);
}

void releaseSamples(CtcFile& file) {
    delete[] file.FloatData;
    delete[] file.Int16Data;
    delete[] file.Int8Data;
    file.FloatData = nullptr;
    file.Int16Data = nullptr;
    file.Int8Data = nullptr;
}

// Byte length that header plus data part promise, or false when it does not
// fit in 64 bits (no file could hold it).
bool promisedLength(const HeaderLayout& layout, uint32_t elementSize, uint64_t& length) {
    return layout.elementCountFits &&
           elementBytePosition(layout.headerLength, layout.elementCount, elementSize, length);
}

// The in-place stream opens the caller's path itself, not the copy in the
// record, which is cut at 511 characters and could name another file.
bool openInPlace(CtcFile& file, const char* path, const HeaderLayout& layout, uint32_t elementType,
                 const StagingOptions& options) {
    // FileVersion, the header's first field, reads as zero while spans of
    // the data part are reordered (see staged_channels.h).
    StagingOptions staging = options;
    staging.guardsHeader = true;
    uint64_t length = 0;
    if (!promisedLength(layout, elementTypeSize(elementType), length)) {
        printMessage(kMessageNotEnoughSpace);
        return false;
    }
    file.DiskData = new (std::nothrow) DiskArray;
    if (file.DiskData == nullptr) return false;
    const uint32_t flags = (elementType << kDiskArrayTypeShift) | kDiskArrayWritable;
    if (file.SampleOrdering == kOrderingChannelMajor) {
        const uint32_t extents[2] = {file.NrOfSamples, file.NrOfChannels};
        return openDiskArray(*file.DiskData, path, layout.headerLength, 2, extents, flags, staging);
    }
    if (file.SampleOrdering == kOrderingSampleMajor) {
        const uint32_t extents[2] = {file.NrOfChannels, file.NrOfSamples};
        return openDiskArray(*file.DiskData, path, layout.headerLength, 2, extents, flags, staging);
    }
    if (layout.elementCount <= UINT32_MAX) {
        const uint32_t extent = static_cast<uint32_t>(layout.elementCount);
        return openDiskArray(*file.DiskData, path, layout.headerLength, 1, &extent, flags, staging);
    }
    return openDiskArrayElements(*file.DiskData, path, layout.headerLength, layout.elementCount,
                                 flags, staging);
}

// The whole data part in one read. Its size is checked against the file
// before anything is allocated, so a corrupt header cannot exhaust memory.
bool loadIntoMemory(CtcFile& file, const FileHandle& handle, uint64_t fileBytes,
                    const HeaderLayout& layout, uint32_t elementType) {
    const uint32_t elementSize = elementTypeSize(elementType);
    uint64_t length = 0;
    if (!promisedLength(layout, elementSize, length) || length > fileBytes) {
        printMessage(kMessageDataBeyondFile);
        return false;
    }
    const size_t count = static_cast<size_t>(layout.elementCount);
    void* data = nullptr;
    if (file.DataType == kDataTypeInt16) {
        data = file.Int16Data = new (std::nothrow) int16_t[count];
    } else if (file.DataType == kDataTypeInt8) {
        data = file.Int8Data = new (std::nothrow) int8_t[count];
    } else {
        data = file.FloatData = new (std::nothrow) float[count];
    }
    return data != nullptr && readAt(handle, layout.headerLength, data, count * elementSize);
}

bool openRecord(CtcFile& file, const char* path, uint32_t openMode, const StagingOptions& staging) {
    FileHandle handle;
    uint64_t fileBytes = 0;
    if (path == nullptr || !openExistingFile(path, FileAccess::ReadOnly, handle) ||
        !fileLength(handle, fileBytes)) {
        return false;
    }
    std::strncpy(file.Path, path, sizeof file.Path - 1);
    file.Path[sizeof file.Path - 1] = '\0';

    const ByteSource source{&handle, readFromHandle, fileBytes};
    HeaderLayout layout;
    const HeaderStatus status = parseCtcHeader(source, file, layout);
    if (status != HeaderStatus::Ok) {
        if (const char* message = headerStatusMessage(status)) printMessage(message);
        return false;
    }
    const uint32_t elementType = elementTypeOfDataType(file.DataType);
    // The header stream stays open while the in-place stream is opened.
    const bool opened = openMode == kCtcOpenInPlace
                            ? openInPlace(file, path, layout, elementType, staging)
                            : loadIntoMemory(file, handle, fileBytes, layout, elementType);
    return closeFile(handle) && opened;
}

// Checks shared by reading and writing a window; fills the element span
// and conversion, or returns false (with the message where there is one).
bool planWindow(const CtcFile& file, const void* buffer, uint32_t channel, uint32_t firstSample,
                uint32_t count, WindowSpan& span, SampleConversion& conversion) {
    const bool hasSamples = file.DiskData != nullptr || file.FloatData != nullptr ||
                            file.Int16Data != nullptr || file.Int8Data != nullptr;
    if (file.FileVersion == 0 || !hasSamples || channel >= file.NrOfChannels ||
        uint64_t{firstSample} + count > file.NrOfSamples || count > INT_MAX ||
        (buffer == nullptr && count != 0)) {
        return false;
    }
    if (!isContinuousOrdering(file.SampleOrdering)) {
        printMessage(kMessageUnsupportedOrderingForWindow);
        return false;
    }
    if (!isSupportedDataType(file.DataType)) {
        printMessage(kMessageUnsupportedDatatypeForWindow);
        return false;
    }
    conversion.dataType = file.DataType;
    conversion.scale = 1.0f;
    conversion.offset = 0.0f;
    if (file.DataType != kDataTypeFloat) {
        if (file.ChannelScales == nullptr || file.ChannelOffsets == nullptr) return false;
        conversion.scale = file.ChannelScales[channel];
        conversion.offset = file.ChannelOffsets[channel];
    }
    const CtcBlockShape continuous{0, 1, 0};
    span.firstElement = ctcElementIndex(file.SampleOrdering, file.NrOfChannels, file.NrOfSamples,
                                        continuous, 0, channel, firstSample);
    span.stride = file.SampleOrdering == kOrderingChannelMajor ? 1 : file.NrOfChannels;
    span.count = count;
    return true;
}

unsigned char* samplesInMemory(const CtcFile& file) {
    if (file.FloatData != nullptr) return reinterpret_cast<unsigned char*>(file.FloatData);
    if (file.Int16Data != nullptr) return reinterpret_cast<unsigned char*>(file.Int16Data);
    return reinterpret_cast<unsigned char*>(file.Int8Data);
}

}  // namespace

int openCtcFile(CtcFile& file, const char* path, uint32_t openMode) {
    return openCtcFileWith(file, path, openMode, StagingOptions{});
}

int openCtcFileWith(CtcFile& file, const char* path, uint32_t openMode,
                    const StagingOptions& staging) {
    initialiseCtcFile(file);
    if (openRecord(file, path, openMode, staging)) return 1;
    closeCtcFile(file);
    return 0;
}

int readCtcChannel(float* destination, CtcFile& file, uint32_t channel, uint32_t firstSample,
                   uint32_t count) {
    WindowSpan span;
    SampleConversion conversion;
    if (!planWindow(file, destination, channel, firstSample, count, span, conversion) ||
        count == 0) {
        return 0;
    }
    if (file.DiskData != nullptr) {
        if (!readWindowFromDisk(*file.DiskData, span, conversion, destination)) return 0;
    } else {
        const uint32_t elementSize = elementTypeSize(elementTypeOfDataType(file.DataType));
        readWindowFromMemory(samplesInMemory(file), elementSize, span, conversion, destination);
    }
    return static_cast<int>(count);
}

int writeCtcChannel(const float* source, CtcFile& file, uint32_t channel, uint32_t firstSample,
                    uint32_t count) {
    WindowSpan span;
    SampleConversion conversion;
    if (!planWindow(file, source, channel, firstSample, count, span, conversion) || count == 0) {
        return 0;
    }
    if (file.DiskData != nullptr) {
        if (!writeWindowToDisk(*file.DiskData, span, conversion, source)) return 0;
    } else {
        const uint32_t elementSize = elementTypeSize(elementTypeOfDataType(file.DataType));
        writeWindowToMemory(samplesInMemory(file), elementSize, span, conversion, source);
    }
    return static_cast<int>(count);
}

int closeCtcFile(CtcFile& file) {
    releaseCtcHeaderArrays(file);
    releaseSamples(file);
    int closed = 1;
    if (file.DiskData != nullptr) {
        closed = closeDiskArray(*file.DiskData);
        delete file.DiskData;
        file.DiskData = nullptr;
    }
    return closed;
}
