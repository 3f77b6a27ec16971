#pragma once

// The optimal basis set correction of every channel, segment by segment, in
// place in the opened output file.

#include <cstdint>

#include "ctc/ctc_file.h"
#include "numeric/offset_array.h"
#include "obs/obs_settings.h"

// Number of segments of A consecutive occurrences that cover N occurrences:
// N / A rounded up.
int32_t obsSegmentCount(int32_t N, int32_t A);

// Corrects every channel of `file`. T[0..N-1] are the trigger samples, the
// window runs from T[t] - pre to T[t] + post (L = pre + post + 1 samples held
// in w[0..L-1]). Requires 1 <= A <= N, 1 <= K <= A, pre, post >= 0 (A, K,
// pre and post from `settings`), a file of sample ordering 1 or 2 with a
// non-zero FileVersion, and checkObsWorkspace(A, L) to have answered Fits.
// Logs the segment count and one progress line per segment. Returns false at
// the first window read or write that failed; the file then holds every
// window written before it.
bool correctChannels(CtcFile& file, OffsetIntVector T, int32_t N, const ObsSettings& settings,
                     OffsetVector w);
