#pragma once

// The optimal basis set correction of every channel, segment by segment, in
// place in the opened output file.

#include <cstdint>

#include "ctc/ctc_file.h"
#include "numeric/offset_array.h"

// Work storage of one run, sized from A, K and L once and reused for every
// channel and segment (see obs_correction.cpp for the role of each array).
struct ObsWorkspace {
    int32_t A = 0;
    int32_t K = 0;
    int32_t L = 0;
    OffsetMatrix X;  // 0..A-1 x 0..L-1
    OffsetVector m;  // 0..A-1
    double* D = nullptr;  // A*L, row-major
    double* C = nullptr;  // A*A, row-major
    OffsetMatrix R;  // 1..A x 1..A
    OffsetVector e;  // 1..A
    OffsetMatrix V;  // 1..A x 1..A
    OffsetMatrix W;  // 0..A-1 x 0..A-1
    OffsetMatrix B;  // 0..A-1 x 0..A-1
    OffsetMatrix P;  // 0..A-1 x 0..L-1
    OffsetMatrix Q;  // 0..L-1 x 0..A-1
    OffsetMatrix G;  // 0..A-1 x 0..A-1
    OffsetMatrix H;  // 0..A-1 x 0..A-1
    OffsetVector y;  // 0..A-1
    OffsetVector f;  // 0..A-1
};

// Corrects every channel of `file`. T[0..N-1] are the trigger samples, the
// window runs from T[t] - pre to T[t] + post (L = pre + post + 1 samples held
// in w[0..L-1]). Requires 1 <= A <= N, 1 <= K <= A, pre, post >= 0. Returns
// false at the first window read or write that failed; the file then holds
// every window written before it.
bool correctChannels(CtcFile& file, OffsetIntVector T, int32_t N, int32_t pre, int32_t post,
                     int32_t A, int32_t K, OffsetVector w);
