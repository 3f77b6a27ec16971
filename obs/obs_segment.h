#pragma once

// One segment of the correction: the windows of A occurrences of one
// channel, their principal components, and each written window less its fit.

#include <cstdint>

#include "ctc/ctc_file.h"
#include "numeric/offset_array.h"
#include "obs/obs_settings.h"
#include "obs/obs_workspace.h"

// Corrects the segment of channel `channel` whose first occurrence is
// `firstOccurrence`, with the sizes held by the workspace. Rows past the last
// occurrence are filled with the occurrences at the same rows of the previous
// segment (as the file now holds them) and are never written back. False at
// the first failed window transfer.
bool correctSegment(ObsWorkspace& workspace, CtcFile& file, int32_t channel,
                    int32_t firstOccurrence, OffsetIntVector T, int32_t N,
                    const ObsSettings& settings, OffsetVector w);

#ifdef KORU_PROFILE
// Writes where the correction's time went, gathered over all segments since
// the last call, to standard error and starts the figures anew.
void printSegmentProfile(double correctionSeconds);
#endif
