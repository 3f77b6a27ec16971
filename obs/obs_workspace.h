#pragma once

// Work storage of the correction, sized once per run from A (artifacts per
// segment), K (components kept) and L (window length) and reused for every
// channel and segment. Nothing of one segment is carried into the next: every
// segment overwrites what it reads.

#include <cstdint>
#include <memory>

#include "numeric/offset_array.h"
#include "obs/obs_settings.h"
#include "obs/owned_arrays.h"

// Sized from the settings at construction, given back when it goes. Requires
// checkObsWorkspace(A, L) to have answered Fits: every allocation that fails
// ends the process.
struct ObsWorkspace {
    explicit ObsWorkspace(const ObsSettings& settings);

    const int32_t A;
    const int32_t K;
    const int32_t L;
    OwnedMatrix X;                // 0..A-1 x 0..L-1: the segment's windows, means removed
    OwnedVector m;                // 0..A-1: the mean removed from each row of X
    std::unique_ptr<double[]> D;  // A*L, row-major, zero-filled: X widened for the host's product
    std::unique_ptr<double[]> C;  // A*A, row-major, zero-filled: D * D^T from the host
    OwnedMatrix R;                // 1..A x 1..A: covariance of occurrences, C / L
    OwnedVector e;                // 1..A: eigenvalues of R, largest first
    OwnedMatrix V;                // 1..A x 1..A: eigenvectors of R, one per column
    OwnedMatrix W;                // 0..A-1 x 0..A-1: V with zero-based indices
    OwnedMatrix B;                // 0..A-1 x 0..A-1: W^T; rows 0..K-1 weight the rows of X
    OwnedMatrix P;                // 0..A-1 x 0..L-1: rows 0..K-1 are the component time courses
    OwnedMatrix G;                // 0..A-1 x 0..A-1: K x K Gram matrix P * P^T
    OwnedMatrix H;                // 0..A-1 x 0..A-1: pseudo-inverse of G
    OwnedMatrix Y;                // 0..A-1 x 0..K-1: projections P * x of every row of X
    OwnedVector y;                // 0..A-1: projections P * x of one window
    OwnedVector f;                // 0..A-1: fit coefficients H * y of one window
    // The windows' moves in runs: the first sample of each row's window, and
    // a buffer of A*L samples for the stretch of channel a run covers.
    std::unique_ptr<int64_t[]> windowStarts;
    std::unique_ptr<float[]> runBuffer;
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
