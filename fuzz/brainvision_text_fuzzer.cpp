// Feeds arbitrary bytes to the BrainVision header and marker parsers: both
// must refuse or accept without crashing, and what the header parser accepts
// goes through the validation as a whole. The first byte picks the parser,
// so one corpus serves both.

#include <cstdint>
#include <string>

#include "hostprogram/recordings/brainvision_header.h"
#include "hostprogram/recordings/brainvision_markers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string error;
    if (data[0] & 1) {
        BrainVisionMarkers markers;
        const int64_t sampleCount = int64_t{data[0] >> 1} * 128;
        if (parseBrainVisionMarkers(text, "fuzz.vmrk", sampleCount, markers, error)) {
            if (markers.markers.size() != markers.entries.size()) __builtin_trap();
            for (const RecordingMarker& marker : markers.markers)
                if (marker.sample < 0 || marker.sample >= sampleCount || marker.duration < 0)
                    __builtin_trap();
        } else if (error.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    BrainVisionHeader header;
    if (!parseBrainVisionHeader(text, "fuzz.vhdr", header, error) ||
        !validateBrainVisionHeader(header, "fuzz.vhdr", error)) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    if (header.channels.size() != static_cast<uint64_t>(header.numberOfChannels) ||
        !(header.samplingInterval > 0))
        __builtin_trap();
    return 0;
}
