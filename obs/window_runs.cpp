#include "obs/window_runs.h"

#include <algorithm>
#include <cstring>

WindowRun windowRunFrom(const int64_t* firstSamples, int32_t rows, int32_t length, int32_t row,
                        int64_t gap, int64_t capacity) {
    WindowRun run;
    run.firstRow = row;
    run.endRow = row + 1;
    run.firstSample = firstSamples[row];
    run.endSample = run.firstSample + length;
    for (; run.endRow < rows; ++run.endRow) {
        const int64_t first = firstSamples[run.endRow];
        if (first == kNoWindow || first < run.firstSample || first > run.endSample + gap) break;
        const int64_t end = std::max(run.endSample, first + length);
        if (end - run.firstSample > capacity) break;
        run.endSample = end;
    }
    return run;
}

bool readWindowRuns(CtcFile& file, uint32_t channel, const int64_t* firstSamples, int32_t rows,
                    int32_t length, float* const* destinations, float* buffer, int64_t capacity) {
    // Reading a gap of up to one window costs less than a further transfer.
    const int64_t gap = length;
    return forEachWindowRun(firstSamples, rows, length, gap, capacity, [&](const WindowRun& run) {
        const uint32_t count = static_cast<uint32_t>(run.endSample - run.firstSample);
        if (readCtcChannel(buffer, file, channel, static_cast<uint32_t>(run.firstSample), count) !=
            static_cast<int>(count)) {
            return false;
        }
        for (int32_t j = run.firstRow; j < run.endRow; ++j) {
            std::memcpy(destinations[j], buffer + (firstSamples[j] - run.firstSample),
                        static_cast<size_t>(length) * sizeof(float));
        }
        return true;
    });
}
