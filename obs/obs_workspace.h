#pragma once

// Work storage of the correction, sized once per run from A (artifacts per
// segment), K (components kept) and L (window length) and reused for every
// channel and segment. Nothing of one segment is carried into the next: every
// segment overwrites what it reads.

#include <cstdint>

#include "numeric/offset_array.h"

struct ObsWorkspace {
    int32_t A = 0;
    int32_t K = 0;
    int32_t L = 0;
    OffsetMatrix X;       // 0..A-1 x 0..L-1: the segment's windows, means removed
    OffsetVector m;       // 0..A-1: the mean removed from each row of X
    double* D = nullptr;  // A*L, row-major: X widened for the host's product
    double* C = nullptr;  // A*A, row-major: D * D^T from the host
    OffsetMatrix R;       // 1..A x 1..A: covariance of occurrences, C / L
    OffsetVector e;       // 1..A: eigenvalues of R, largest first
    OffsetMatrix V;       // 1..A x 1..A: eigenvectors of R, one per column
    OffsetMatrix W;       // 0..A-1 x 0..A-1: V with zero-based indices
    OffsetMatrix B;       // 0..A-1 x 0..A-1: W^T; rows 0..K-1 weight the rows of X
    OffsetMatrix P;       // 0..A-1 x 0..L-1: rows 0..K-1 are the component time courses
    OffsetMatrix Q;       // 0..L-1 x 0..A-1: P^T
    OffsetMatrix G;       // 0..A-1 x 0..A-1: K x K Gram matrix P * P^T
    OffsetMatrix H;       // 0..A-1 x 0..A-1: pseudo-inverse of G
    OffsetMatrix Y;       // 0..A-1 x 0..K-1: projections P * x of every row of X
    OffsetVector y;       // 0..A-1: projections P * x of one window
    OffsetVector f;       // 0..A-1: fit coefficients H * y of one window
    // The windows' moves in runs: the first sample of each row's window, and
    // a buffer of A*L samples for the stretch of channel a run covers.
    int64_t* windowStarts = nullptr;
    float* runBuffer = nullptr;
};

enum class ObsWorkspaceCheck {
    Fits,
    // A*A or A*L exceeds the 32-bit element counts of the array routines and
    // of the host's product (or A or L is below 1).
    CountsTooLarge,
    // The storage could not be had from the system at this moment.
    NotEnoughMemory,
};

// True when A and L are at least 1 and A*A and A*L fit the 32-bit element
// counts.
bool obsWorkspaceCountsFit(int32_t A, int32_t L);

// Bytes the workspace takes for A and L, row tables included.
uint64_t obsWorkspaceBytes(int32_t A, int32_t L);

// Decides before anything is allocated whether the workspace can be made:
// the array routines end the process when an allocation fails, which would
// take the host down with it.
ObsWorkspaceCheck checkObsWorkspace(int32_t A, int32_t L);

// Allocates every array; D and C are zero-filled. Requires checkObsWorkspace
// to have answered Fits.
void allocateObsWorkspace(ObsWorkspace& workspace, int32_t A, int32_t K, int32_t L);

void releaseObsWorkspace(ObsWorkspace& workspace);
