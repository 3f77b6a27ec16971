#include "hostprogram/recordings/brainvision_markers.h"

#include <algorithm>
#include <numeric>

#include "hostprogram/recordings/brainvision_text.h"

namespace {

// "Mk12" gives 12; anything else 0.
int64_t markerNumberOf(const std::string& key) {
    int64_t number = 0;
    if (key.size() < 3 || brainVisionLowerCase(key.substr(0, 2)) != "mk" || key[2] == '+' ||
        key[2] == '-' || !parseBrainVisionInteger(key.substr(2), number))
        return 0;
    return number;
}

std::string readMarkerEntry(const BrainVisionEntry& entry, int64_t sampleCount,
                            RecordingMarker& marker) {
    const std::vector<std::string> fields = splitBrainVisionFields(entry.value);
    if (fields.size() < 3) return "expected <type>,<description>,<position>,<size>,<channel>";
    marker.type = fields[0];
    marker.description = fields[1];
    int64_t position = 0;
    if (!parseBrainVisionInteger(fields[2], position) || position < 1)
        return "expected a position of at least 1, not \"" + fields[2] + "\"";
    if (position > sampleCount)
        return "position " + fields[2] + " is after the last sample (" +
               std::to_string(sampleCount) + ")";
    marker.sample = position - 1;
    marker.duration = 1;
    if (fields.size() > 3 && !fields[3].empty() &&
        (!parseBrainVisionInteger(fields[3], marker.duration) || marker.duration < 0))
        return "expected a size in samples, not \"" + fields[3] + "\"";
    return std::string();
}

}  // namespace

bool parseBrainVisionMarkers(const std::string& bytes, const std::string& path, int64_t sampleCount,
                             BrainVisionMarkers& markers, std::string& error) {
    markers = BrainVisionMarkers();
    BrainVisionText text;
    if (!splitBrainVisionFile(bytes, path, "Marker", text, error)) return false;
    std::vector<int64_t> numbers;
    std::vector<const BrainVisionEntry*> sources;
    for (const BrainVisionEntry& entry : text.entries) {
        if (entry.section != "marker infos") continue;
        RecordingMarker marker;
        const int64_t number = markerNumberOf(entry.key);
        std::string problem = number < 1 ? "expected Mk<number>=<type>,<description>,<position>,..."
                                         : readMarkerEntry(entry, sampleCount, marker);
        if (!problem.empty()) {
            error =
                path + ": line " + std::to_string(entry.line) + ": " + entry.key + ": " + problem;
            return false;
        }
        numbers.push_back(number);
        sources.push_back(&entry);
        markers.markers.push_back(marker);
        markers.entries.push_back(entry.key + "=" + entry.value);
    }
    // Writers number their markers in order; a file that does not is put in
    // the order of its numbers, entries and markers alike.
    std::vector<std::size_t> order(numbers.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return numbers[a] < numbers[b]; });
    BrainVisionMarkers sorted;
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
        const std::size_t index = order[rank];
        if (rank > 0 && numbers[order[rank - 1]] == numbers[index]) {
            error = path + ": line " + std::to_string(sources[index]->line) + ": " +
                    sources[index]->key + ": marker number given twice";
            return false;
        }
        sorted.markers.push_back(std::move(markers.markers[index]));
        sorted.entries.push_back(std::move(markers.entries[index]));
    }
    markers = std::move(sorted);
    return true;
}

std::string brainVisionConditionName(const RecordingMarker& marker) {
    return marker.type + "/" + marker.description;
}

std::vector<std::string> brainVisionMarkerEntries(const std::vector<RecordingMarker>& markers) {
    std::vector<std::string> entries;
    for (std::size_t index = 0; index < markers.size(); ++index) {
        const RecordingMarker& marker = markers[index];
        entries.push_back(
            "Mk" + std::to_string(index + 1) + "=" + escapeBrainVisionField(marker.type) + "," +
            escapeBrainVisionField(marker.description) + "," + std::to_string(marker.sample + 1) +
            "," + std::to_string(marker.duration) + ",0");
    }
    return entries;
}
