#include "numeric/offset_array.h"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// Element counts are formed in 64 bits so they cannot wrap; a negative count
// or one whose byte size does not fit the address space cannot be allocated.
void* allocateElements(int64_t count, std::size_t elementSize) {
    if (count < 0) return nullptr;
    if (static_cast<uint64_t>(count) > std::numeric_limits<std::size_t>::max() / elementSize)
        return nullptr;
    // A block of zero elements is a valid, empty array; keep its address unique.
    std::size_t bytes = static_cast<std::size_t>(count) * elementSize;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

template <typename Element>
OffsetVectorOf<Element> allocateVector(int32_t nl, int32_t nh, const char* failureMessage) {
    int64_t count = static_cast<int64_t>(nh) - nl + 1;
    void* block = allocateElements(count, sizeof(Element));
    if (!block) numeric_fatal_error(failureMessage);
    return OffsetVectorOf<Element>{static_cast<Element*>(block), nl};
}

}  // namespace

void numeric_fatal_error(const char* message) {
    std::fprintf(stderr, "Numerical run-time error...\n");
    std::fprintf(stderr, "%s\n", message);
    std::fprintf(stderr, "...now exiting to system...\n");
    std::exit(1);
}

OffsetVector vector(int32_t nl, int32_t nh) {
    return allocateVector<float>(nl, nh, "allocation failure in vector()");
}

OffsetIntVector ivector(int32_t nl, int32_t nh) {
    return allocateVector<int32_t>(nl, nh, "allocation failure in ivector()");
}

OffsetMatrix matrix(int32_t nrl, int32_t nrh, int32_t ncl, int32_t nch) {
    int64_t rowCount = static_cast<int64_t>(nrh) - nrl + 1;
    int64_t columnCount = static_cast<int64_t>(nch) - ncl + 1;
    // Row handle nrl is always written, so a matrix needs at least one row.
    void* table = rowCount >= 1 ? allocateElements(rowCount, sizeof(float*)) : nullptr;
    if (!table) numeric_fatal_error("allocation failure 1 in matrix()");
    void* block = nullptr;
    if (columnCount >= 0 && columnCount <= std::numeric_limits<int64_t>::max() / rowCount)
        block = allocateElements(rowCount * columnCount, sizeof(float));
    if (!block) {
        // The process ends either way; giving the table back keeps a leak
        // checker running at exit from reporting it.
        std::free(table);
        numeric_fatal_error("allocation failure 2 in matrix()");
    }

    float** rows = static_cast<float**>(table);
    float* elements = static_cast<float*>(block);
    for (int64_t r = 0; r < rowCount; ++r) rows[r] = elements + r * columnCount;
    return OffsetMatrix{rows, nrl, ncl};
}

// The handle already carries its lower bound; the bounds the owner passes
// back are part of the interface and must be the allocation's.
void release_vector(OffsetVector v, int32_t, int32_t) {
    std::free(v.first);
}

void release_ivector(OffsetIntVector v, int32_t, int32_t) {
    std::free(v.first);
}

void release_matrix(OffsetMatrix m, int32_t nrl, int32_t, int32_t, int32_t) {
    std::free(m.rowData(nrl));
    std::free(m.rows);
}
