#include "ctc/ctc_header.h"

#include <cstring>
#include <new>

#include "ctc/ctc_format.h"

namespace ctc {

namespace {

// Sequential reader with the semantics of one stream: once a field is not
// supplied in full, it and every later field keep their previous values.
struct HeaderReader {
    const ByteSource& source;
    uint64_t position;
    bool ended;
};

uint64_t remainingBytes(const HeaderReader& reader) {
    return reader.ended || reader.position > reader.source.length
               ? 0
               : reader.source.length - reader.position;
}

bool readBytes(HeaderReader& reader, void* destination, size_t size) {
    if (remainingBytes(reader) < size ||
        !reader.source.readAt(reader.source.context, reader.position, destination, size)) {
        reader.ended = true;
        return false;
    }
    reader.position += size;
    return true;
}

uint32_t decodeU32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void readU32(HeaderReader& reader, uint32_t& field) {
    unsigned char bytes[4];
    if (readBytes(reader, bytes, sizeof bytes)) field = decodeU32(bytes);
}

void readF32(HeaderReader& reader, float& field) {
    unsigned char bytes[4];
    if (!readBytes(reader, bytes, sizeof bytes)) return;
    const uint32_t bits = decodeU32(bytes);
    std::memcpy(&field, &bits, sizeof field);
}

// Reads `count` 4-byte values into a new array. The length is checked
// against the source first, so a corrupt count cannot demand more memory
// than the file itself occupies.
template <typename Value>
HeaderStatus readArray(HeaderReader& reader, uint32_t count, Value*& array) {
    static_assert(sizeof(Value) == 4, "header arrays hold 4-byte values");
    if (count == 0) return HeaderStatus::Ok;
    const uint64_t bytes = uint64_t{count} * 4;
    if (bytes > remainingBytes(reader)) return HeaderStatus::ArraysBeyondSource;
    array = new (std::nothrow) Value[count];
    if (array == nullptr) return HeaderStatus::OutOfMemory;
    if (!readBytes(reader, array, static_cast<size_t>(bytes))) {
        return HeaderStatus::ArraysBeyondSource;
    }
    return HeaderStatus::Ok;
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    uint64_t sum = 0;
    return addChecked(a, b, sum) ? sum : UINT64_MAX;
}

uint64_t saturatingMultiply(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    return multiplyChecked(a, b, product) ? product : UINT64_MAX;
}

// Element count of every block in turn; UINT64_MAX marks an overflow and
// stays once reached.
uint64_t blockElementCount(const CtcFile& file, uint32_t block) {
    const uint64_t trials = file.BlockNrOfTrials[block] == 0 ? 1 : file.BlockNrOfTrials[block];
    const uint64_t length =
        uint64_t{file.BlockPreSamples[block]} + uint64_t{file.BlockPostSamples[block]};
    return saturatingMultiply(saturatingMultiply(length, file.NrOfChannels), trials);
}

HeaderStatus readBlocks(HeaderReader& reader, CtcFile& file) {
    readU32(reader, file.NrOfBlocks);
    const uint32_t blocks = file.NrOfBlocks;
    if (blocks == 0) return HeaderStatus::Ok;
    if (uint64_t{blocks} * 12 > remainingBytes(reader)) return HeaderStatus::ArraysBeyondSource;
    HeaderStatus status = readArray(reader, blocks, file.BlockNrOfTrials);
    if (status == HeaderStatus::Ok) status = readArray(reader, blocks, file.BlockPreSamples);
    if (status == HeaderStatus::Ok) status = readArray(reader, blocks, file.BlockPostSamples);
    if (status != HeaderStatus::Ok) return status;
    file.BlockStarts = new (std::nothrow) uint64_t[blocks];
    if (file.BlockStarts == nullptr) return HeaderStatus::OutOfMemory;
    uint64_t start = 0;
    for (uint32_t block = 0; block < blocks; ++block) {
        file.BlockStarts[block] = start;
        start = saturatingAdd(start, blockElementCount(file, block));
    }
    return HeaderStatus::Ok;
}

void computeLayout(const CtcFile& file, const HeaderReader& reader, HeaderLayout& layout) {
    layout.headerLength = reader.position;
    uint64_t count = 0;
    bool fits = true;
    if (file.SampleOrdering <= kOrderingSampleMajor) {
        fits = multiplyChecked(file.NrOfChannels, file.NrOfSamples, count);
    } else {
        for (uint32_t block = 0; block < file.NrOfBlocks && fits; ++block) {
            const uint64_t blockCount = blockElementCount(file, block);
            fits = blockCount != UINT64_MAX && addChecked(count, blockCount, count);
        }
    }
    layout.elementCount = fits ? count : UINT64_MAX;
    layout.elementCountFits = fits;
}

HeaderStatus parseFields(HeaderReader& reader, CtcFile& file, HeaderLayout& layout) {
    readU32(reader, file.FileVersion);
    readU32(reader, file.CompressionType);
    if (file.CompressionType != 0) {
        readU32(reader, file.NrOfCompressionParams);
        const HeaderStatus status =
            readArray(reader, file.NrOfCompressionParams, file.CompressionParams);
        if (status != HeaderStatus::Ok) return status;
    }
    readU32(reader, file.DataType);
    if (file.DataType == kDataTypeReserved || file.DataType > kDataTypeScaledFloat) {
        return HeaderStatus::DatatypeNotYetSupported;
    }
    readU32(reader, file.SampleOrdering);
    if (file.SampleOrdering > kOrderingSampleChannelTrial) {
        return HeaderStatus::OrderingNotYetSupported;
    }
    readU32(reader, file.NrOfChannels);
    readU32(reader, file.NrOfSamples);
    readF32(reader, file.SamplingFrequency);
    if (isScaledDataType(file.DataType)) {
        if (uint64_t{file.NrOfChannels} * 8 > remainingBytes(reader)) {
            return HeaderStatus::ArraysBeyondSource;
        }
        HeaderStatus status = readArray(reader, file.NrOfChannels, file.ChannelOffsets);
        if (status == HeaderStatus::Ok) {
            status = readArray(reader, file.NrOfChannels, file.ChannelScales);
        }
        if (status != HeaderStatus::Ok) return status;
    }
    const HeaderStatus status = readBlocks(reader, file);
    if (status != HeaderStatus::Ok) return status;
    if (file.SampleOrdering < kOrderingChannelMajor) return HeaderStatus::OrderingNotYetSupported;
    computeLayout(file, reader, layout);
    if (!isSupportedDataType(file.DataType)) return HeaderStatus::UnsupportedDatatype;
    return HeaderStatus::Ok;
}

template <typename Value>
void release(Value*& array) {
    delete[] array;
    array = nullptr;
}

}  // namespace

void initialiseCtcFile(CtcFile& file) {
    std::memset(&file, 0, sizeof file);
    file.FileVersion = 1;
    file.SamplingFrequency = 1.0f;
    file.CompressionParams = nullptr;
    file.ChannelOffsets = nullptr;
    file.ChannelScales = nullptr;
    file.BlockNrOfTrials = nullptr;
    file.BlockPreSamples = nullptr;
    file.BlockPostSamples = nullptr;
    file.BlockStarts = nullptr;
    file.FloatData = nullptr;
    file.Int16Data = nullptr;
    file.Int8Data = nullptr;
    file.DiskData = nullptr;
}

HeaderStatus parseCtcHeader(const ByteSource& source, CtcFile& file, HeaderLayout& layout) {
    HeaderReader reader{source, 0, false};
    layout = HeaderLayout{0, 0, false};
    const HeaderStatus status = parseFields(reader, file, layout);
    if (status != HeaderStatus::Ok) releaseCtcHeaderArrays(file);
    return status;
}

const char* headerStatusMessage(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::DatatypeNotYetSupported:
            return kMessageDatatypeNotYetSupported;
        case HeaderStatus::OrderingNotYetSupported:
            return kMessageOrderingNotYetSupported;
        case HeaderStatus::UnsupportedDatatype:
            return kMessageUnsupportedDatatypeAtOpen;
        case HeaderStatus::ArraysBeyondSource:
            return kMessageHeaderBeyondFile;
        default:
            return nullptr;
    }
}

void releaseCtcHeaderArrays(CtcFile& file) {
    release(file.CompressionParams);
    release(file.ChannelOffsets);
    release(file.ChannelScales);
    release(file.BlockNrOfTrials);
    release(file.BlockPreSamples);
    release(file.BlockPostSamples);
    release(file.BlockStarts);
}

}  // namespace ctc
