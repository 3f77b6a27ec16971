#include "hostprogram/report/column_extremes.h"

namespace {

template <typename Value>
std::vector<int64_t> extremesOf(const Value* values, int64_t count, int columns) {
    std::vector<int64_t> kept;
    if (count <= 0) return kept;
    if (columns < 1 || count <= 2 * static_cast<int64_t>(columns)) {
        for (int64_t i = 0; i < count; ++i) kept.push_back(i);
        return kept;
    }
    for (int64_t column = 0; column < columns; ++column) {
        const int64_t first = column * count / columns;
        const int64_t end = (column + 1) * count / columns;
        int64_t lowest = first, highest = first;
        for (int64_t i = first + 1; i < end; ++i) {
            if (values[i] < values[lowest]) lowest = i;
            if (values[i] > values[highest]) highest = i;
        }
        // In their order, so that the line goes through them as the trace does.
        kept.push_back(lowest < highest ? lowest : highest);
        if (lowest != highest) kept.push_back(lowest < highest ? highest : lowest);
    }
    return kept;
}

}  // namespace

std::vector<int64_t> columnExtremes(const float* values, int64_t count, int columns) {
    return extremesOf(values, count, columns);
}

std::vector<int64_t> columnExtremes(const double* values, int64_t count, int columns) {
    return extremesOf(values, count, columns);
}
