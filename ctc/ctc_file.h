#pragma once

// Opening a CTC file, reading and rewriting windows of one channel, closing it.
// (Interface fixed for the run; the representation of DiskArray's stream and
// any access cache are the access layer's own business.)

#include <cstdint>

#include "ctc/disk_array.h"

struct CtcFile {
    char Path[512];
    uint32_t FileVersion;  // 0 makes every window operation refuse
    uint32_t CompressionType;
    uint32_t NrOfCompressionParams;
    uint32_t* CompressionParams;
    uint32_t DataType;
    uint32_t SampleOrdering;
    uint32_t NrOfChannels;
    uint32_t NrOfSamples;
    float SamplingFrequency;
    float* ChannelOffsets;
    float* ChannelScales;
    uint32_t NrOfBlocks;
    uint32_t* BlockNrOfTrials;
    uint32_t* BlockPreSamples;
    uint32_t* BlockPostSamples;
    uint64_t* BlockStarts;
    float* FloatData;
    int16_t* Int16Data;
    int8_t* Int8Data;
    DiskArray* DiskData;
};

// Open modes.
constexpr uint32_t kCtcOpenInPlace = 1;  // read and rewrite windows on disk
// Any other value loads the data part into memory.

// 1 on success, 0 on failure (messages on the standard error stream as the
// format layer gives them). The record needs no preparation. After a failure
// the record is fit only to be discarded.
int openCtcFile(CtcFile& file, const char* path, uint32_t openMode);

// Samples firstSample .. firstSample + count - 1 of `channel` as floats into
// destination[0 .. count - 1]. Returns count, or 0 on refusal or when the
// transfer failed.
int readCtcChannel(float* destination, CtcFile& file, uint32_t channel, uint32_t firstSample,
                   uint32_t count);

// Stores source[0 .. count - 1] as those samples, converted to the stored type.
// Returns count, or 0 on refusal or when the transfer failed. In place, the
// windows of an interleaved file (ordering 2) go to a staged channel-major
// copy and reach the file at the close; every later read sees them at once,
// and a failure to bring them into the file is reported by closeCtcFile.
int writeCtcChannel(const float* source, CtcFile& file, uint32_t channel, uint32_t firstSample,
                    uint32_t count);

// Releases what the record owns and closes the file. 1 when every write
// reached the file and the close succeeded, 0 otherwise (also when a write
// failed earlier, even if that window already returned 0). Nothing is synced
// to the disk: errors the system reports at the write and the close are
// reported here.
int closeCtcFile(CtcFile& file);
