#include "ctc/ctc_format.h"

#include <cstdio>

namespace ctc {

void printMessage(const char* message) {
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

uint32_t elementTypeSize(uint32_t typeCode) {
    static const uint32_t kSizes[kElementTypeCodeCount] = {1, 1, 2, 4, 4, 1, 2, 4, 8};
    return typeCode < kElementTypeCodeCount ? kSizes[typeCode] : 0;
}

uint32_t elementTypeOfDataType(uint32_t dataType) {
    switch (dataType) {
        case kDataTypeFloat:
        case kDataTypeScaledFloat:
            return kElementTypeFloat32;
        case kDataTypeInt16:
            return kElementTypeInt16;
        case kDataTypeInt8:
            return kElementTypeInt8;
        default:
            return kElementTypeCodeCount;
    }
}

bool isSupportedDataType(uint32_t dataType) {
    return elementTypeOfDataType(dataType) != kElementTypeCodeCount;
}

bool multiplyChecked(uint64_t a, uint64_t b, uint64_t& product) {
    product = a * b;
    return a == 0 || product / a == b;
}

bool addChecked(uint64_t a, uint64_t b, uint64_t& sum) {
    sum = a + b;
    return sum >= a;
}

uint64_t ctcElementIndex(uint32_t ordering, uint64_t channelCount, uint64_t sampleCount,
                         const CtcBlockShape& block, uint64_t trial, uint64_t channel,
                         uint64_t sample) {
    const uint64_t length = block.trialLength;
    const uint64_t trials = block.trials;
    switch (ordering) {
        case kOrderingChannelMajor:
            return channel * sampleCount + sample;
        case kOrderingSampleMajor:
            return sample * channelCount + channel;
        case kOrderingTrialChannelSample:
            return block.start + (trial * channelCount + channel) * length + sample;
        case kOrderingTrialSampleChannel:
            return block.start + (trial * length + sample) * channelCount + channel;
        case kOrderingChannelSampleTrial:
            return block.start + (channel * length + sample) * trials + trial;
        case kOrderingSampleChannelTrial:
            return block.start + (sample * channelCount + channel) * trials + trial;
        default:
            return UINT64_MAX;
    }
}

bool elementBytePosition(uint64_t dataStart, uint64_t elementIndex, uint32_t elementSize,
                         uint64_t& position) {
    uint64_t offset = 0;
    return multiplyChecked(elementIndex, elementSize, offset) &&
           addChecked(dataStart, offset, position);
}

}  // namespace ctc
