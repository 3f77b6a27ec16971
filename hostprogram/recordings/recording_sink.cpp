#include "hostprogram/recordings/recording_sink.h"

#include <cstdio>
#include <limits>

#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/recordings/recording_source.h"

bool recordingSinkNeedsRanges(RecordingFormat format) {
    return format == RecordingFormat::kEdf || format == RecordingFormat::kBdf;
}

bool createRecordingSink(const std::string& path, const RecordingInfo& info,
                         const std::vector<EdfPhysicalRange>& ranges, RecordingSink& sink,
                         std::string& error) {
    if (!recordingFormatOfPath(path, sink.format, error)) return false;
    sink.path = path;
    bool created = false;
    switch (sink.format) {
        case RecordingFormat::kBrainVision:
            created = createBrainVisionWriter(path, info, brainVisionMarkerEntries(info.markers),
                                              sink.brainVision, error);
            break;
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            created = openEdfWriter(path, info, sink.format, ranges, sink.edf, error);
            if (!created) std::remove(path.c_str());
            break;
        case RecordingFormat::kCtc:
            if (info.samples > std::numeric_limits<uint32_t>::max()) {
                error = path + ": " + std::to_string(info.samples) +
                        " samples per channel are more than a CTC file can hold";
                return false;
            }
            created = openCtcBlockWriter(path, static_cast<float>(info.samplingFrequency),
                                         static_cast<uint32_t>(info.channels.size()),
                                         static_cast<uint32_t>(info.samples), sink.ctc, error);
            break;
    }
    sink.open = created;
    return created;
}

bool appendRecordingBlock(RecordingSink& sink, const float* samples, int64_t count,
                          std::string& error) {
    switch (sink.format) {
        case RecordingFormat::kBrainVision:
            return appendBrainVisionBlock(sink.brainVision, samples, count, error);
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            return writeEdfBlock(sink.edf, samples, count, error);
        case RecordingFormat::kCtc:
            break;
    }
    return appendCtcBlock(sink.ctc, samples, count, error);
}

bool finishRecordingSink(RecordingSink& sink, std::string& error) {
    sink.open = false;
    switch (sink.format) {
        case RecordingFormat::kBrainVision:
            return finishBrainVisionWriter(sink.brainVision, error);
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            if (closeEdfWriter(sink.edf, error)) return true;
            std::remove(sink.path.c_str());
            return false;
        case RecordingFormat::kCtc:
            break;
    }
    return finishCtcBlockWriter(sink.ctc, error);
}

void abandonRecordingSink(RecordingSink& sink) {
    if (!sink.open) return;
    sink.open = false;
    std::string ignored;
    switch (sink.format) {
        case RecordingFormat::kBrainVision:
            abandonBrainVisionWriter(sink.brainVision);
            return;
        case RecordingFormat::kEdf:
        case RecordingFormat::kBdf:
            closeEdfWriter(sink.edf, ignored);
            std::remove(sink.path.c_str());
            return;
        case RecordingFormat::kCtc:
            break;
    }
    abandonCtcChannelWriter(sink.ctc.file);
}
