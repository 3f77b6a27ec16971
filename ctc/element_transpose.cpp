#include "ctc/element_transpose.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ctc {

namespace {

// Element (row, column) of `from` to element (column, row) of `to`, for
// the rows and columns of one tile; each side's rows lie `pitch` bytes apart.
template <size_t Size>
void transposeElementwise(const unsigned char* from, size_t fromPitch, uint64_t firstRow,
                          uint64_t endRow, uint64_t firstColumn, uint64_t endColumn,
                          unsigned char* to, size_t toPitch) {
    for (uint64_t row = firstRow; row < endRow; ++row) {
        const unsigned char* source = from + row * fromPitch;
        for (uint64_t column = firstColumn; column < endColumn; ++column) {
            std::memcpy(to + column * toPitch + row * Size, source + column * Size, Size);
        }
    }
}

template <size_t Size>
void transposeTile(const unsigned char* from, size_t fromPitch, uint64_t firstRow, uint64_t endRow,
                   uint64_t firstColumn, uint64_t endColumn, unsigned char* to, size_t toPitch) {
    transposeElementwise<Size>(from, fromPitch, firstRow, endRow, firstColumn, endColumn, to,
                               toPitch);
}

#if defined(__SSE2__)
// Four rows of four 4-byte elements turned into four columns in registers.
void transposeFourByFour(const unsigned char* from, size_t fromPitch, unsigned char* to,
                         size_t toPitch) {
    const auto load = [&](size_t row) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + row * fromPitch));
    };
    const __m128i rows01Low = _mm_unpacklo_epi32(load(0), load(1));
    const __m128i rows23Low = _mm_unpacklo_epi32(load(2), load(3));
    const __m128i rows01High = _mm_unpackhi_epi32(load(0), load(1));
    const __m128i rows23High = _mm_unpackhi_epi32(load(2), load(3));
    const auto store = [&](size_t column, __m128i value) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + column * toPitch), value);
    };
    store(0, _mm_unpacklo_epi64(rows01Low, rows23Low));
    store(1, _mm_unpackhi_epi64(rows01Low, rows23Low));
    store(2, _mm_unpacklo_epi64(rows01High, rows23High));
    store(3, _mm_unpackhi_epi64(rows01High, rows23High));
}

// 4-byte elements, the common case, four by four; the tile's ragged edges
// element by element.
template <>
void transposeTile<4>(const unsigned char* from, size_t fromPitch, uint64_t firstRow,
                      uint64_t endRow, uint64_t firstColumn, uint64_t endColumn, unsigned char* to,
                      size_t toPitch) {
    const uint64_t endBlockRow = firstRow + (endRow - firstRow) / 4 * 4;
    const uint64_t endBlockColumn = firstColumn + (endColumn - firstColumn) / 4 * 4;
    for (uint64_t row = firstRow; row < endBlockRow; row += 4) {
        for (uint64_t column = firstColumn; column < endBlockColumn; column += 4) {
            transposeFourByFour(from + row * fromPitch + column * 4, fromPitch,
                                to + column * toPitch + row * 4, toPitch);
        }
    }
    transposeElementwise<4>(from, fromPitch, firstRow, endBlockRow, endBlockColumn, endColumn, to,
                            toPitch);
    transposeElementwise<4>(from, fromPitch, endBlockRow, endRow, firstColumn, endColumn, to,
                            toPitch);
}
#endif

// Small square tiles keep both sides in the cache.
template <size_t Size>
void transposeTiled(const unsigned char* from, size_t fromPitch, uint64_t rowCount,
                    uint64_t columnCount, unsigned char* to, size_t toPitch) {
    constexpr uint64_t kTile = 16;
    for (uint64_t firstRow = 0; firstRow < rowCount; firstRow += kTile) {
        const uint64_t endRow = std::min(rowCount, firstRow + kTile);
        for (uint64_t firstColumn = 0; firstColumn < columnCount; firstColumn += kTile) {
            const uint64_t endColumn = std::min(columnCount, firstColumn + kTile);
            transposeTile<Size>(from, fromPitch, firstRow, endRow, firstColumn, endColumn, to,
                                toPitch);
        }
    }
}

}  // namespace

void transposeElements(const unsigned char* from, size_t fromPitch, uint64_t rowCount,
                       uint64_t columnCount, uint32_t elementSize, unsigned char* to,
                       size_t toPitch) {
    switch (elementSize) {
        case 1:
            transposeTiled<1>(from, fromPitch, rowCount, columnCount, to, toPitch);
            break;
        case 2:
            transposeTiled<2>(from, fromPitch, rowCount, columnCount, to, toPitch);
            break;
        case 4:
            transposeTiled<4>(from, fromPitch, rowCount, columnCount, to, toPitch);
            break;
        default:
            transposeTiled<8>(from, fromPitch, rowCount, columnCount, to, toPitch);
            break;
    }
}

}  // namespace ctc
