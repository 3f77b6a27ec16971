#pragma once

// Conversion between stored elements and the float samples the caller sees,
// for the plug-in's windows and for the host program's reader and writer.

#include <cstdint>

namespace ctc {

// How an integer type stores a quotient that lies between two of its steps.
// The plug-in truncates toward zero and stores 0 for NaN, as rewritten
// recordings always have; the host program's writer takes the nearest step
// (ties to even) and the lowest value for NaN, as the recordings it has
// generated always have. Both hold the quotient to the type's range.
enum class IntegerRounding { TowardZero, Nearest };

// value = stored x scale + offset, in single precision; DataType 1 passes
// the stored float through untouched.
struct SampleConversion {
    uint32_t dataType;
    float scale;
    float offset;
    IntegerRounding rounding = IntegerRounding::TowardZero;  // when storing
};

// Converts `count` elements that lie `strideBytes` apart, starting at
// `elements`, into consecutive samples, and back.
void decodeSamples(const unsigned char* elements, uint64_t strideBytes, uint32_t count,
                   const SampleConversion& conversion, float* samples);
void encodeSamples(const float* samples, uint32_t count, const SampleConversion& conversion,
                   unsigned char* elements, uint64_t strideBytes);

}  // namespace ctc
