#pragma once

// Moving the windows of one segment between the file and the work storage in
// runs: the windows of consecutive occurrences overlap or lie close together,
// so most of a segment's windows cover one stretch of the channel, which then
// takes one transfer instead of one per window.
//
// The file ends up as the single transfers would leave it. Reads: every read
// of a segment comes before its first write, so one read of the stretch sees
// what each window's read would have seen. Writes: a write run is a chain of
// windows, each starting inside the stretch covered so far, so every sample
// of the stretch belongs to a window; the windows are laid into the buffer in
// row order, later over earlier, and the stretch holds what writing them one
// after the other would leave. No sample outside the windows is written.

#include <cstdint>

#include "ctc/ctc_file.h"

// The first sample of a row's window, or kNoWindow for a row whose window is
// not moved (out of bounds, or not written).
constexpr int64_t kNoWindow = -1;

// Rows [firstRow, endRow) and the samples [firstSample, endSample) they cover.
struct WindowRun {
    int32_t firstRow = 0;
    int32_t endRow = 0;
    int64_t firstSample = 0;
    int64_t endSample = 0;
};

// The run that starts at row `row` (whose window is moved): the rows after it
// join while their windows start no earlier than the run and no more than
// `gap` samples after its end, and the run stays within `capacity` samples.
WindowRun windowRunFrom(const int64_t* firstSamples, int32_t rows, int32_t length, int32_t row,
                        int64_t gap, int64_t capacity);

// Calls move(run) for the runs of the rows whose window is moved, in row
// order, each run starting at the first row the runs before it left; stops
// at the first move that fails.
template <typename Move>
bool forEachWindowRun(const int64_t* firstSamples, int32_t rows, int32_t length, int64_t gap,
                      int64_t capacity, Move move) {
    for (int32_t row = 0; row < rows;) {
        if (firstSamples[row] == kNoWindow) {
            ++row;
            continue;
        }
        const WindowRun run = windowRunFrom(firstSamples, rows, length, row, gap, capacity);
        if (!move(run)) return false;
        row = run.endRow;
    }
    return true;
}

// Reads the window of every row whose first sample is given into
// destinations[row] (length samples each), through `buffer` of `capacity`
// samples (at least `length`). False at the first failed transfer.
bool readWindowRuns(CtcFile& file, uint32_t channel, const int64_t* firstSamples, int32_t rows,
                    int32_t length, float* const* destinations, float* buffer, int64_t capacity);

// Writes the window of every row whose first sample is given, in row order;
// fill(row, samples) produces row's `length` samples. False at the first
// failed transfer; the runs before it are written.
template <typename Fill>
bool writeWindowRuns(CtcFile& file, uint32_t channel, const int64_t* firstSamples, int32_t rows,
                     int32_t length, float* buffer, int64_t capacity, Fill fill) {
    // No gap: every sample written belongs to a window.
    return forEachWindowRun(firstSamples, rows, length, 0, capacity, [&](const WindowRun& run) {
        for (int32_t j = run.firstRow; j < run.endRow; ++j)
            fill(j, buffer + (firstSamples[j] - run.firstSample));
        const uint32_t count = static_cast<uint32_t>(run.endSample - run.firstSample);
        return writeCtcChannel(buffer, file, channel, static_cast<uint32_t>(run.firstSample),
                               count) == static_cast<int>(count);
    });
}
