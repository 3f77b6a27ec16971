#pragma once

// A run on a BrainVision, EDF or BDF recording. The plug-in reads only CTC
// files, so the channels to be corrected are first written to a temporary
// CTC file beside the output (floats in ordering 1, the layout it reads
// fastest); the plug-in corrects that file, and its corrected samples are
// then written back into the input's format beside the input:
// sub01_OBS.vhdr/.vmrk/.eeg (the input's marker entries kept verbatim),
// sub01_OBS.edf or sub01_OBS.bdf (the input byte for byte but for the
// corrected samples). The channels not corrected keep their samples. The
// trial list the plug-in writes beside the temporary file is moved beside
// the input as sub01_<condition>.trl.

#include <string>
#include <vector>

#include "hostprogram/cli/options.h"
#include "hostprogram/commands/ecg_triggers.h"
#include "hostprogram/protocols/marker_conditions.h"
#include "hostprogram/recordings/recording_source.h"

struct RecordingRun {
    RecordingSource source;
    std::vector<int> corrected;  // info.channels indices, in their order
    std::string temporaryInput;  // the CTC file the plug-in is given
    std::string correctedCopy;   // the header (BrainVision) or file of the result
    MarkerConditions markers;    // the input's markers as conditions
    EcgTriggers ecg;             // with --ecg-channel: its beats, the last of the markers
    std::string ecgCondition;    // the name they have there; empty without --ecg-channel
};

// The extension of inputPath names a format other than CTC.
bool isRecordingRunInput(const std::string& inputPath);

// Opens the input and settles the channels to correct (options.exclude, the
// ECG channel and the always-excluded ones left out) and the names of the
// files; with options.ecgChannel, detects its beats. False with error
// "<file>: <why>" when the input cannot be read, its ECG gives no beats to
// run on, or nothing is left to correct: the run is then refused.
bool openRecordingRun(const Options& options, RecordingRun& run, std::string& error);

// Every file the corrected copy consists of.
std::vector<std::string> correctedCopyFiles(const RecordingRun& run);

// Writes the temporary CTC file. False with error naming the file.
bool writeTemporaryInput(RecordingRun& run, std::string& error);

// The trial list the plug-in writes for condition (the name it was given)
// beside the temporary input.
std::string temporaryTrialList(const RecordingRun& run, const std::string& condition);

// After a completed run: the corrected copy in the input's format from the
// plug-in's output, and the trial list moved beside the input. Reports the
// samples an EDF or BDF copy held to a channel's physical range on standard
// error. False with error naming the file; no corrected copy is then left.
bool finishRecordingRun(RecordingRun& run, const std::string& condition, std::string& error);

// Removes the temporary input, the plug-in's output and the trial list still
// beside them.
void removeTemporaryFiles(const RecordingRun& run, const std::string& condition);
