#include "ctc/sample_codec.h"

#include <cmath>
#include <cstring>

#include "ctc/ctc_format.h"

namespace ctc {

namespace {

template <typename Integer>
Integer storedInteger(float quotient, float lowest, float highest) {
    if (std::isnan(quotient)) return 0;
    if (quotient <= lowest) return static_cast<Integer>(lowest);
    if (quotient >= highest) return static_cast<Integer>(highest);
    return static_cast<Integer>(quotient);  // truncation toward zero
}

// Elements are copied through memcpy: inside a block they need not be
// aligned for their type.
template <typename Stored>
Stored loadElement(const unsigned char* element) {
    Stored value;
    std::memcpy(&value, element, sizeof value);
    return value;
}

template <typename Stored>
void storeElement(Stored value, unsigned char* element) {
    std::memcpy(element, &value, sizeof value);
}

template <typename Stored>
void decodeScaled(const unsigned char* elements, uint64_t strideBytes, uint32_t count, float scale,
                  float offset, float* samples) {
    for (uint32_t i = 0; i < count; ++i) {
        const float stored = static_cast<float>(loadElement<Stored>(elements + i * strideBytes));
        samples[i] = stored * scale + offset;
    }
}

}  // namespace

int16_t storedInt16(float quotient) {
    return storedInteger<int16_t>(quotient, -32768.0f, 32767.0f);
}

int8_t storedInt8(float quotient) {
    return storedInteger<int8_t>(quotient, -128.0f, 127.0f);
}

void decodeSamples(const unsigned char* elements, uint64_t strideBytes, uint32_t count,
                   const SampleConversion& conversion, float* samples) {
    const float scale = conversion.scale;
    const float offset = conversion.offset;
    switch (conversion.dataType) {
        case kDataTypeFloat:
            for (uint32_t i = 0; i < count; ++i) {
                samples[i] = loadElement<float>(elements + i * strideBytes);
            }
            break;
        case kDataTypeScaledFloat:
            decodeScaled<float>(elements, strideBytes, count, scale, offset, samples);
            break;
        case kDataTypeInt16:
            decodeScaled<int16_t>(elements, strideBytes, count, scale, offset, samples);
            break;
        case kDataTypeInt8:
            decodeScaled<int8_t>(elements, strideBytes, count, scale, offset, samples);
            break;
        default:
            break;
    }
}

void encodeSamples(const float* samples, uint32_t count, const SampleConversion& conversion,
                   unsigned char* elements, uint64_t strideBytes) {
    const float scale = conversion.scale;
    const float offset = conversion.offset;
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char* element = elements + i * strideBytes;
        switch (conversion.dataType) {
            case kDataTypeFloat:
                storeElement(samples[i], element);
                break;
            case kDataTypeScaledFloat:
                storeElement((samples[i] - offset) / scale, element);
                break;
            case kDataTypeInt16:
                storeElement(storedInt16((samples[i] - offset) / scale), element);
                break;
            case kDataTypeInt8:
                storeElement(storedInt8((samples[i] - offset) / scale), element);
                break;
            default:
                break;
        }
    }
}

}  // namespace ctc
