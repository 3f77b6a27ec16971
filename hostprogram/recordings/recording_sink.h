#pragma once

// Any recording the host program writes, in the format its file name's
// extension names (as recordingFormatOfPath reads it): created from the
// common model, filled by blocks of every channel, finished. Whatever fails,
// no partial file stays behind.
//
// Every channel must be at info.samplingFrequency. BrainVision keeps every
// sample as a float in its channel's unit; CTC keeps floats in ordering 1
// and neither names, units nor markers; EDF and BDF requantize each channel
// to the physical range it is given (recordingSinkNeedsRanges), which the
// caller finds by a pass over the samples with widenEdfRanges.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/recordings/brainvision_writer.h"
#include "hostprogram/recordings/ctc_blocks.h"
#include "hostprogram/recordings/edf_writer.h"
#include "hostprogram/recordings/recording.h"

struct RecordingSink {
    RecordingFormat format = RecordingFormat::kCtc;
    std::string path;
    bool open = false;
    BrainVisionWriter brainVision;
    EdfWriter edf;
    CtcBlockWriter ctc;
};

bool recordingSinkNeedsRanges(RecordingFormat format);

// Creates the output. ranges: one per channel where the format needs them,
// otherwise ignored. False with error "<path>: <why>", nothing left behind.
bool createRecordingSink(const std::string& path, const RecordingInfo& info,
                         const std::vector<EdfPhysicalRange>& ranges, RecordingSink& sink,
                         std::string& error);

// Appends the next count samples of every channel: samples[channel * count + index].
bool appendRecordingBlock(RecordingSink& sink, const float* samples, int64_t count,
                          std::string& error);

// Completes the output once every sample is in; on failure removes it.
bool finishRecordingSink(RecordingSink& sink, std::string& error);

// Drops an unfinished output: closes and removes what was written.
void abandonRecordingSink(RecordingSink& sink);
