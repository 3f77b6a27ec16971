#pragma once

// Any recording the host program reads, whatever its format: the format is
// told by the file name's extension, the recording is opened into the common
// model, and the channels at the main rate are read in blocks in their
// physical units. Commands see only this layer, never a format's reader.
//
// CTC files carry no channel names, units or markers: their channels are
// named by number ("1", "2", ...) with the unit the caller gives.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/recordings/brainvision_reader.h"
#include "hostprogram/recordings/ctc_blocks.h"
#include "hostprogram/recordings/edf_reader.h"
#include "hostprogram/recordings/recording.h"

// ".vhdr", ".edf", ".bdf" or ".ctc" in any case. False with error naming the
// file and the extensions understood otherwise.
bool recordingFormatOfPath(const std::string& path, RecordingFormat& format, std::string& error);

// "brainvision", "edf", "bdf" or "ctc", as info --json writes it.
const char* recordingFormatKey(RecordingFormat format);

// "BrainVision", "EDF", "BDF" or "CTC", for people.
const char* recordingFormatName(RecordingFormat format);

struct RecordingSource {
    std::string path;
    RecordingInfo info;
    // Per info.channels entry: never corrected whatever the user picks (a
    // Status trigger channel, a channel at another rate than the main one).
    std::vector<bool> alwaysExcluded;
    // The info.channels entries readRecordingBlock gives, in its order: the
    // channels at the main rate.
    std::vector<int> blockChannels;
    int statusChannel = -1;  // info.channels index of a trigger channel whose codes are markers
    BrainVisionReader brainVision;
    EdfReader edf;
    CtcBlockReader ctc;
};

// Opens the recording at path into a source not opened before. ctcUnit is
// the unit of a CTC file's samples. False with error "<path>: <why>".
bool openRecordingSource(const std::string& path, const std::string& ctcUnit,
                         RecordingSource& source, std::string& error);

// Every file a recording written at path in format consists of: a
// BrainVision header's data and marker files beside it, named after it.
std::vector<std::string> recordingFilesOf(const std::string& path, RecordingFormat format);

// False, with error naming the clash, when a recording written at
// outputPath in outputFormat would write over a file of the opened source
// (by name, or the same file under another name): the input is never
// written.
bool checkOutputSparesSource(const RecordingSource& source, const std::string& outputPath,
                             RecordingFormat outputFormat, std::string& error);

// Samples [firstSample, firstSample + count) of source.blockChannels, channel
// after channel: out[block * count + index], each in its channel's unit.
bool readRecordingBlock(RecordingSource& source, int64_t firstSample, int64_t count, float* out,
                        std::string& error);

// The condition a marker belongs to, named as MNE-Python names the
// annotation: "<type>/<description>" for BrainVision, the annotation's text
// for EDF+ and BDF+, and the trigger code for a Status channel's markers.
std::string recordingConditionName(RecordingFormat format, const RecordingMarker& marker);
