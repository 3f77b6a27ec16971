#include "ctc/sample_codec.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "ctc/ctc_format.h"

namespace ctc {

namespace {

template <typename Integer>
Integer storedInteger(float quotient, IntegerRounding rounding) {
    constexpr float lowest = std::numeric_limits<Integer>::min();
    constexpr float highest = std::numeric_limits<Integer>::max();
    if (rounding == IntegerRounding::Nearest) {
        const float nearest = std::nearbyint(quotient);
        if (!(nearest > lowest)) return std::numeric_limits<Integer>::min();  // NaN too
        if (nearest >= highest) return std::numeric_limits<Integer>::max();
        return static_cast<Integer>(nearest);
    }
    if (std::isnan(quotient)) return 0;
    if (quotient <= lowest) return std::numeric_limits<Integer>::min();
    if (quotient >= highest) return std::numeric_limits<Integer>::max();
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

template <typename Integer>
void encodeInteger(const float* samples, uint32_t count, const SampleConversion& conversion,
                   unsigned char* elements, uint64_t strideBytes) {
    for (uint32_t i = 0; i < count; ++i) {
        const float quotient = (samples[i] - conversion.offset) / conversion.scale;
        storeElement(storedInteger<Integer>(quotient, conversion.rounding),
                     elements + i * strideBytes);
    }
}

}  // namespace

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
    switch (conversion.dataType) {
        case kDataTypeFloat:
            for (uint32_t i = 0; i < count; ++i) {
                storeElement(samples[i], elements + i * strideBytes);
            }
            break;
        case kDataTypeScaledFloat:
            for (uint32_t i = 0; i < count; ++i) {
                storeElement((samples[i] - conversion.offset) / conversion.scale,
                             elements + i * strideBytes);
            }
            break;
        case kDataTypeInt16:
            encodeInteger<int16_t>(samples, count, conversion, elements, strideBytes);
            break;
        case kDataTypeInt8:
            encodeInteger<int8_t>(samples, count, conversion, elements, strideBytes);
            break;
        default:
            break;
    }
}

}  // namespace ctc
