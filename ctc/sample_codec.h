#pragma once

// Conversion between stored elements and the float samples the caller sees.

#include <cstdint>

namespace ctc {

// value = stored x scale + offset, in single precision; DataType 1 passes
// the stored float through untouched.
struct SampleConversion {
    uint32_t dataType;
    float scale;
    float offset;
};

// Nearest 16-bit or 8-bit value of an already scaled quotient, truncated
// toward zero inside the range; NaN stores 0.
int16_t storedInt16(float quotient);
int8_t storedInt8(float quotient);

// Converts `count` elements that lie `strideBytes` apart, starting at
// `elements`, into consecutive samples, and back.
void decodeSamples(const unsigned char* elements, uint64_t strideBytes, uint32_t count,
                   const SampleConversion& conversion, float* samples);
void encodeSamples(const float* samples, uint32_t count, const SampleConversion& conversion,
                   unsigned char* elements, uint64_t strideBytes);

}  // namespace ctc
