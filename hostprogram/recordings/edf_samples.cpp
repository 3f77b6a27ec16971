#include "hostprogram/recordings/edf_samples.h"

#include <cmath>

#include "hostprogram/recordings/edf_header.h"

EdfScale edfScaleOf(const EdfSignal& signal) {
    EdfScale scale;
    scale.gain = (signal.physicalMaximum - signal.physicalMinimum) /
                 (static_cast<double>(signal.digitalMaximum) - signal.digitalMinimum);
    scale.offset = signal.physicalMinimum - scale.gain * signal.digitalMinimum;
    return scale;
}

int32_t edfDigitalOf(const EdfSignal& signal, double physical, bool& saturated) {
    const double low = signal.digitalMinimum;
    const double high = signal.digitalMaximum;
    const bool notANumber = std::isnan(physical);
    const EdfScale scale = edfScaleOf(signal);
    // Rounded in double before holding to the range, so that neither a huge
    // value nor an infinity reaches the integer conversion.
    const double digital = std::round(((notANumber ? 0.0 : physical) - scale.offset) / scale.gain);
    saturated = notANumber || !(digital >= low && digital <= high);
    if (digital < low) return signal.digitalMinimum;
    if (digital > high) return signal.digitalMaximum;
    return static_cast<int32_t>(digital);
}

int32_t loadEdfSample(const unsigned char* bytes, int sampleBytes) {
    uint32_t value = 0;
    for (int index = 0; index < sampleBytes; ++index)
        value |= static_cast<uint32_t>(bytes[index]) << (8 * index);
    const uint32_t sign = uint32_t{1} << (8 * sampleBytes - 1);
    // Sign extension without shifting into the sign bit of a signed type.
    return static_cast<int32_t>((value ^ sign) - sign);
}

void storeEdfSample(unsigned char* bytes, int sampleBytes, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int index = 0; index < sampleBytes; ++index)
        bytes[index] = static_cast<unsigned char>(bits >> (8 * index));
}
