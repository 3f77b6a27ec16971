#pragma once

// Constants and position arithmetic of the CTC file format.
//
// Byte layout (little-endian, no padding; a field whose condition is false
// takes no bytes):
//   u32 FileVersion
//   u32 CompressionType
//   u32 NrOfCompressionParams            if CompressionType != 0
//   u32 CompressionParams[n]             if CompressionType != 0 and n != 0
//   u32 DataType                         1 float, 3 int16, 4 int8, 5 scaled float
//   u32 SampleOrdering                   1..6
//   u32 NrOfChannels (C)
//   u32 NrOfSamples (S)
//   f32 SamplingFrequency
//   f32 ChannelOffsets[C]                if DataType > 2
//   f32 ChannelScales[C]                 if DataType > 2
//   u32 NrOfBlocks (B)
//   u32 BlockNrOfTrials[B]               if B != 0 (0 counts as one trial)
//   u32 BlockPreSamples[B]               if B != 0
//   u32 BlockPostSamples[B]              if B != 0
//   elements of the data part            from the first byte after the header
//
// Continuous orderings 1 and 2 hold C x S elements; the epoched orderings 3
// to 6 hold, block after block, C x trials x (pre + post) elements each.

#include <cstdint>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
// Whole data parts are read into memory as they are stored.
#error "The CTC layer expects a little-endian host."
#endif

namespace ctc {

constexpr uint32_t kDataTypeFloat = 1;
constexpr uint32_t kDataTypeReserved = 2;  // known, not yet supported
constexpr uint32_t kDataTypeInt16 = 3;
constexpr uint32_t kDataTypeInt8 = 4;
constexpr uint32_t kDataTypeScaledFloat = 5;

// The types whose header stores a per-channel offset and scale.
constexpr bool isScaledDataType(uint32_t dataType) {
    return dataType > kDataTypeReserved;
}

constexpr uint32_t kOrderingChannelMajor = 1;  // c * S + s
constexpr uint32_t kOrderingSampleMajor = 2;   // s * C + c
constexpr uint32_t kOrderingTrialChannelSample = 3;
constexpr uint32_t kOrderingTrialSampleChannel = 4;
constexpr uint32_t kOrderingChannelSampleTrial = 5;
constexpr uint32_t kOrderingSampleChannelTrial = 6;

// The orderings of continuous data, whose channels can be cut into windows.
constexpr bool isContinuousOrdering(uint32_t ordering) {
    return ordering == kOrderingChannelMajor || ordering == kOrderingSampleMajor;
}

// Element type codes of a DiskArray and the ones the CTC layer uses.
constexpr uint32_t kElementTypeCodeCount = 9;
constexpr uint32_t kElementTypeFloat32 = 4;
constexpr uint32_t kElementTypeInt8 = 5;
constexpr uint32_t kElementTypeInt16 = 6;

// DiskArray flag bits.
constexpr uint32_t kDiskArrayOpen = 0x1;
constexpr uint32_t kDiskArrayWritable = 0x30;
constexpr uint32_t kDiskArrayKeptFlags = 0xFFF0;
constexpr uint32_t kDiskArrayTypeShift = 8;

// Messages on the standard error stream, exactly as users see them.
constexpr const char* kMessageDatatypeNotYetSupported = "Datatype not yet supported.";
constexpr const char* kMessageOrderingNotYetSupported = "SampleOrdering not yet supported.";
constexpr const char* kMessageUnsupportedDatatypeAtOpen = "Unsupported datatype.";
constexpr const char* kMessageUnsupportedOrderingForWindow =
    "Unsupported SampleOrdering for this function.";
constexpr const char* kMessageUnsupportedDatatypeForWindow = "Unsupported Datatype.";
constexpr const char* kMessageHeaderBeyondFile =
    "The header arrays reach beyond the end of the file.";
constexpr const char* kMessageDataBeyondFile = "The data part reaches beyond the end of the file.";
constexpr const char* kMessageNotEnoughSpace =
    "Not enough free disk space to extend the file to the length its header gives.";
constexpr const char* kMessageExtendFailed =
    "Could not extend the file to the length its header gives.";

// Writes one message line and flushes, so it is not lost if the host dies.
void printMessage(const char* message);

// Bytes per element of a DiskArray type code; 0 for an unknown code.
uint32_t elementTypeSize(uint32_t typeCode);

// DiskArray type code of a CTC data type; kElementTypeCodeCount if none.
uint32_t elementTypeOfDataType(uint32_t dataType);

bool isSupportedDataType(uint32_t dataType);

// Checked 64-bit arithmetic: false when the exact result does not fit.
bool multiplyChecked(uint64_t a, uint64_t b, uint64_t& product);
bool addChecked(uint64_t a, uint64_t b, uint64_t& sum);

// One block of an epoched file, as the index arithmetic needs it.
struct CtcBlockShape {
    uint64_t start;        // element index of the block's first element
    uint64_t trials;       // BlockNrOfTrials, with 0 counted as 1
    uint64_t trialLength;  // BlockPreSamples + BlockPostSamples
};

// Element index of one sample. Continuous orderings (1, 2) use channelCount
// and sampleCount and take `sample` as the sample index; epoched orderings (3
// to 6) use `block`, `trial` and `sample` counted from the trial's first
// sample. Exact for every sample of a data part whose element count fits in
// 64 bits, which the header parser guarantees. Returns UINT64_MAX for an
// ordering outside 1..6.
uint64_t ctcElementIndex(uint32_t ordering, uint64_t channelCount, uint64_t sampleCount,
                         const CtcBlockShape& block, uint64_t trial, uint64_t channel,
                         uint64_t sample);

// Byte position of an element; false when it does not fit in 64 bits.
bool elementBytePosition(uint64_t dataStart, uint64_t elementIndex, uint32_t elementSize,
                         uint64_t& position);

}  // namespace ctc
