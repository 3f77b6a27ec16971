#pragma once

// The transposition between the sample-major rows of a span of an
// interleaved file and its channel-major copy.

#include <cstddef>
#include <cstdint>

namespace ctc {

// Element (row, column) of `from` to element (column, row) of `to`, for
// `rowCount` rows of `columnCount` elements of `elementSize` bytes (1, 2, 4
// or 8); each side's rows lie its pitch in bytes apart. A pitch that is a
// power of two makes a tile's rows compete for one cache set, so callers pad
// the long side's pitch off it.
void transposeElements(const unsigned char* from, size_t fromPitch, uint64_t rowCount,
                       uint64_t columnCount, uint32_t elementSize, unsigned char* to,
                       size_t toPitch);

}  // namespace ctc
