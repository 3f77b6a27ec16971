#pragma once

// Stored EDF/BDF samples and their physical values: the one place that turns
// a physical value into the integer a signal stores, so that the corrected
// copy and the writer requantize alike.

#include <cstdint>

struct EdfSignal;

// physical = digitalToPhysical.gain * digital + digitalToPhysical.offset, with
// the digital and physical ranges' ends mapped onto each other.
struct EdfScale {
    double gain = 1;
    double offset = 0;
};
EdfScale edfScaleOf(const EdfSignal& signal);

// The stored integer nearest to `physical`, held to the signal's digital
// range. `saturated` is set when the value lies more than half a step outside
// the physical range, i.e. when holding it changed the stored value; a value
// that is not a number is stored as zero would be, and counts too.
int32_t edfDigitalOf(const EdfSignal& signal, double physical, bool& saturated);

// Little-endian two's complement of 2 or 3 bytes.
int32_t loadEdfSample(const unsigned char* bytes, int sampleBytes);
void storeEdfSample(unsigned char* bytes, int sampleBytes, int32_t value);
