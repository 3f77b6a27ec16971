#include "obs/obs_workspace.h"

#include <cstdlib>
#include <limits>

namespace {

constexpr int64_t kLargestCount = std::numeric_limits<int32_t>::max();

template <typename Element>
Element* zeroFilled(int64_t count) {
    void* block = std::calloc(static_cast<std::size_t>(count), sizeof(Element));
    if (!block) numeric_fatal_error("allocation failure in allocateObsWorkspace()");
    return static_cast<Element*>(block);
}

}  // namespace

uint64_t obsWorkspaceBytes(int32_t A, int32_t L) {
    const uint64_t a = static_cast<uint64_t>(A);
    const uint64_t l = static_cast<uint64_t>(L);
    const uint64_t floatElements = 4 * a * l        // X, P, Q, the run buffer
                                   + 7 * a * a      // R, V, W, B, G, H, and Y (A x K at most A x A)
                                   + 4 * a;         // m, e, y, f
    const uint64_t doubleElements = a * l + a * a;  // D, C
    const uint64_t rowTables = 9 * a + l;           // nine A-row matrices, Q
    return floatElements * sizeof(float) + doubleElements * sizeof(double) + a * sizeof(int64_t) +
           rowTables * sizeof(float*);
}

bool obsWorkspaceCountsFit(int32_t A, int32_t L) {
    return A >= 1 && L >= 1 && static_cast<int64_t>(A) * A <= kLargestCount &&
           static_cast<int64_t>(A) * L <= kLargestCount;
}

ObsWorkspaceCheck checkObsWorkspace(int32_t A, int32_t L) {
    if (!obsWorkspaceCountsFit(A, L)) return ObsWorkspaceCheck::CountsTooLarge;
    // Ask the system for the whole amount once; what it grants now it will
    // grant to the allocations that follow right away.
    const uint64_t bytes = obsWorkspaceBytes(A, L);
    if (bytes > std::numeric_limits<std::size_t>::max()) return ObsWorkspaceCheck::NotEnoughMemory;
    void* probe = std::malloc(static_cast<std::size_t>(bytes));
    if (!probe) return ObsWorkspaceCheck::NotEnoughMemory;
    std::free(probe);
    return ObsWorkspaceCheck::Fits;
}

void allocateObsWorkspace(ObsWorkspace& workspace, int32_t A, int32_t K, int32_t L) {
    workspace.A = A;
    workspace.K = K;
    workspace.L = L;
    workspace.X = matrix(0, A - 1, 0, L - 1);
    workspace.m = vector(0, A - 1);
    workspace.D = zeroFilled<double>(static_cast<int64_t>(A) * L);
    workspace.C = zeroFilled<double>(static_cast<int64_t>(A) * A);
    workspace.R = matrix(1, A, 1, A);
    workspace.e = vector(1, A);
    workspace.V = matrix(1, A, 1, A);
    workspace.W = matrix(0, A - 1, 0, A - 1);
    workspace.B = matrix(0, A - 1, 0, A - 1);
    workspace.P = matrix(0, A - 1, 0, L - 1);
    workspace.Q = matrix(0, L - 1, 0, A - 1);
    workspace.G = matrix(0, A - 1, 0, A - 1);
    workspace.H = matrix(0, A - 1, 0, A - 1);
    workspace.Y = matrix(0, A - 1, 0, K - 1);
    workspace.y = vector(0, A - 1);
    workspace.f = vector(0, A - 1);
    workspace.windowStarts = zeroFilled<int64_t>(A);
    workspace.runBuffer = zeroFilled<float>(static_cast<int64_t>(A) * L);
}

void releaseObsWorkspace(ObsWorkspace& workspace) {
    const int32_t A = workspace.A;
    const int32_t L = workspace.L;
    std::free(workspace.runBuffer);
    std::free(workspace.windowStarts);
    release_vector(workspace.f, 0, A - 1);
    release_vector(workspace.y, 0, A - 1);
    release_matrix(workspace.Y, 0, A - 1, 0, workspace.K - 1);
    release_matrix(workspace.H, 0, A - 1, 0, A - 1);
    release_matrix(workspace.G, 0, A - 1, 0, A - 1);
    release_matrix(workspace.Q, 0, L - 1, 0, A - 1);
    release_matrix(workspace.P, 0, A - 1, 0, L - 1);
    release_matrix(workspace.B, 0, A - 1, 0, A - 1);
    release_matrix(workspace.W, 0, A - 1, 0, A - 1);
    release_matrix(workspace.V, 1, A, 1, A);
    release_vector(workspace.e, 1, A);
    release_matrix(workspace.R, 1, A, 1, A);
    std::free(workspace.C);
    std::free(workspace.D);
    release_vector(workspace.m, 0, A - 1);
    release_matrix(workspace.X, 0, A - 1, 0, L - 1);
    workspace = ObsWorkspace{};
}
