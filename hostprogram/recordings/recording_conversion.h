#pragma once

// One recording copied into another format through the common model: the
// source read a block at a time, the channels the output can hold chosen,
// the markers named as the output format names them, and the sink filled.
// Memory stays at one block whatever the recording's length.

#include <cstddef>
#include <string>
#include <vector>

#include "hostprogram/recordings/recording.h"
#include "hostprogram/recordings/recording_source.h"

struct RecordingConversion {
    RecordingSource source;  // opened by the caller
    RecordingInfo output;
    std::vector<std::size_t> rows;  // of the source's blocks, one per output channel
    std::vector<float> block;
};

// Fills conversion.output for the format from the source: the channels at
// the main rate except a trigger channel, whose codes travel as markers, and
// the source's markers so that each keeps its condition. Says on standard
// error which channels were left out and which markers a CTC output drops.
void planRecordingConversion(RecordingConversion& conversion, RecordingFormat format);

// Writes the planned output to outputPath. False with error when a read or
// write fails; no output is then left.
bool writeRecordingConversion(RecordingConversion& conversion, const std::string& outputPath,
                              std::string& error);
