#include "obs/obs_workspace.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace {

constexpr int64_t kLargestCount = std::numeric_limits<int32_t>::max();

// Ends the process when the elements cannot be had, as the array routines do.
template <typename Element>
std::unique_ptr<Element[]> zeroFilled(int64_t count) {
    Element* block = new (std::nothrow) Element[static_cast<std::size_t>(count)]();
    if (!block) numeric_fatal_error("allocation failure in allocateObsWorkspace()");
    return std::unique_ptr<Element[]>(block);
}

}  // namespace

uint64_t obsWorkspaceBytes(int32_t A, int32_t L) {
    const uint64_t a = static_cast<uint64_t>(A);
    const uint64_t l = static_cast<uint64_t>(L);
    const uint64_t floatElements = 3 * a * l        // X, P, the run buffer
                                   + 7 * a * a      // R, V, W, B, G, H, and Y (A x K at most A x A)
                                   + 4 * a;         // m, e, y, f
    const uint64_t doubleElements = a * l + a * a;  // D, C
    const uint64_t rowTables = 9 * a;               // nine A-row matrices
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

ObsWorkspace::ObsWorkspace(const ObsSettings& settings)
    : A(settings.artifactsPerSegment),
      K(settings.componentsKept),
      L(settings.windowLength()),
      X(0, A - 1, 0, L - 1),
      m(0, A - 1),
      D(zeroFilled<double>(static_cast<int64_t>(A) * L)),
      C(zeroFilled<double>(static_cast<int64_t>(A) * A)),
      R(1, A, 1, A),
      e(1, A),
      V(1, A, 1, A),
      W(0, A - 1, 0, A - 1),
      B(0, A - 1, 0, A - 1),
      P(0, A - 1, 0, L - 1),
      G(0, A - 1, 0, A - 1),
      H(0, A - 1, 0, A - 1),
      Y(0, A - 1, 0, K - 1),
      y(0, A - 1),
      f(0, A - 1),
      windowStarts(zeroFilled<int64_t>(A)),
      runBuffer(zeroFilled<float>(static_cast<int64_t>(A) * L)) {}
