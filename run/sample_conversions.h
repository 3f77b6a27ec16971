#pragma once

// The unit conversions of a run: milliseconds and microseconds to samples,
// sample numbers to trial list times, and the recording's duration. The
// precision of every step (float or double) is part of the result: users
// compare the window lengths and trigger samples with earlier runs.

#include <cstdint>

// A double truncated toward zero to a signed 32-bit integer. Values that have
// no such integer (not a number, infinite, out of range) give INT32_MIN, the
// "integer indefinite" that the host's processors produce for them, instead of
// undefined behaviour.
int32_t truncateToInt32(double value);

// A window length in samples from milliseconds: milliseconds as float times
// the sampling frequency (float product), divided by 1000 (float quotient),
// truncated toward zero. False when the result is no integer from 0 to
// INT32_MAX (a negative or non-finite frequency, an absurd time): such a
// window cannot be cut from any recording.
bool windowSamplesFromMilliseconds(int32_t milliseconds, float samplingFrequency, int32_t* samples);

// Trigger sample of a position given in microseconds: position as float times
// the sampling frequency in float, widened to double, divided by 1e6 in
// double, truncated (INT32_MIN when out of range, which no window accepts).
int32_t triggerSampleFromMicroseconds(int32_t position, float samplingFrequency);

// Trial list time in microseconds of a position given as a 1-based sample
// number: (position - 1) in double times 1e6, divided by the sampling
// frequency in double, rounded to float.
float trialTimeFromSampleNumber(int32_t position, float samplingFrequency);

// Duration of the recording in minutes: samples (unsigned) divided in double
// by the float product frequency * 60, rounded to float.
float durationMinutes(uint32_t sampleCount, float samplingFrequency);

// Duration in milliseconds: samples * 1000 / frequency in double, truncated.
int32_t durationMilliseconds(uint32_t sampleCount, float samplingFrequency);
