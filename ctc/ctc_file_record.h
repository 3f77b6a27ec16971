#pragma once

// The record of an open CTC file: the header's fields (layout in
// ctc_format.h) and the samples, in memory or on disk. The header parser
// fills it, the file layer opens and closes it.

#include <cstdint>

struct DiskArray;

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
