#include "hostprogram/recordings/recording_conversion.h"

#include <algorithm>
#include <cstdio>

#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/recordings/recording_sink.h"

namespace {

// Markers as the output format names them, so that each keeps its condition:
// an EDF+ annotation carries BrainVision's "<type>/<description>" as its
// text, and such a text splits back into type and description (text
// without a type becomes a "Comment", BrainVision's type for free text).
std::vector<RecordingMarker> markersFor(RecordingFormat output, const RecordingInfo& input) {
    std::vector<RecordingMarker> markers;
    const bool toBrainVision = output == RecordingFormat::kBrainVision;
    for (RecordingMarker marker : input.markers) {
        if (input.format == RecordingFormat::kBrainVision && !toBrainVision) {
            marker.description = brainVisionConditionName(marker);
            marker.type.clear();
        } else if (input.format != RecordingFormat::kBrainVision && toBrainVision &&
                   marker.type.empty()) {
            const std::string::size_type slash = marker.description.find('/');
            marker.type = slash == std::string::npos || slash == 0
                              ? "Comment"
                              : marker.description.substr(0, slash);
            if (slash != std::string::npos && slash != 0) marker.description.erase(0, slash + 1);
        } else if (!toBrainVision) {
            marker.description = recordingConditionName(input.format, marker);
            marker.type.clear();
        }
        markers.push_back(marker);
    }
    return markers;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

// The rows of a block read from the source that the output keeps, moved to
// the front in their order.
void keepRows(std::vector<float>& block, const std::vector<std::size_t>& rows, std::size_t count) {
    for (std::size_t kept = 0; kept < rows.size(); ++kept)
        if (rows[kept] != kept)
            std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(rows[kept] * count), count,
                        block.begin() + static_cast<std::ptrdiff_t>(kept * count));
}

// Reads the whole recording a block at a time, handing each block's kept
// rows to use; false with error as soon as a read or use fails.
template <typename Use>
bool eachBlock(RecordingConversion& conversion, Use use, std::string& error) {
    const std::size_t read = conversion.source.blockChannels.size();
    const int64_t samples = conversion.output.samples;
    const int64_t perBlock = std::max<int64_t>(1, (int64_t{1} << 20) / static_cast<int64_t>(read));
    for (int64_t first = 0; first < samples; first += perBlock) {
        const int64_t count = std::min(perBlock, samples - first);
        conversion.block.resize(read * static_cast<std::size_t>(count));
        if (!readRecordingBlock(conversion.source, first, count, conversion.block.data(), error))
            return false;
        keepRows(conversion.block, conversion.rows, static_cast<std::size_t>(count));
        if (!use(conversion.block.data(), count)) return false;
    }
    return true;
}

}  // namespace

void planRecordingConversion(RecordingConversion& conversion, RecordingFormat format) {
    const RecordingSource& source = conversion.source;
    const RecordingInfo& input = source.info;
    RecordingInfo& output = conversion.output;
    output.format = format;
    output.samplingFrequency = input.samplingFrequency;
    output.samples = input.samples;
    std::vector<std::string> leftOut;
    std::vector<bool> kept(input.channels.size(), false);
    for (std::size_t row = 0; row < source.blockChannels.size(); ++row) {
        const int channel = source.blockChannels[row];
        if (channel == source.statusChannel) continue;
        kept[static_cast<std::size_t>(channel)] = true;
        conversion.rows.push_back(row);
        output.channels.push_back(input.channels[static_cast<std::size_t>(channel)]);
    }
    for (std::size_t channel = 0; channel < input.channels.size(); ++channel)
        if (!kept[channel]) leftOut.push_back(input.channels[channel].name);
    if (!leftOut.empty())
        std::fprintf(stderr,
                     "LumatraZT: %s: left out, being at another rate than %g Hz or a trigger "
                     "channel (its codes are kept as markers): %s\n",
                     source.path.c_str(), input.samplingFrequency, joined(leftOut).c_str());
    if (format == RecordingFormat::kCtc) {
        if (!input.markers.empty())
            std::fprintf(stderr,
                         "LumatraZT: CTC files hold no markers: the %zu markers of %s "
                         "are not written\n",
                         input.markers.size(), source.path.c_str());
    } else {
        output.markers = markersFor(format, input);
    }
}

bool writeRecordingConversion(RecordingConversion& conversion, const std::string& outputPath,
                              std::string& error) {
    std::vector<EdfPhysicalRange> ranges(conversion.output.channels.size());
    if (recordingSinkNeedsRanges(conversion.output.format) &&
        !eachBlock(
            conversion,
            [&ranges](const float* samples, int64_t count) {
                widenEdfRanges(ranges, samples, count);
                return true;
            },
            error))
        return false;
    RecordingSink sink;
    if (!createRecordingSink(outputPath, conversion.output, ranges, sink, error)) return false;
    const bool written = eachBlock(
        conversion,
        [&sink, &error](const float* samples, int64_t count) {
            return appendRecordingBlock(sink, samples, count, error);
        },
        error);
    if (!written) {
        abandonRecordingSink(sink);
        return false;
    }
    return finishRecordingSink(sink, error);
}
