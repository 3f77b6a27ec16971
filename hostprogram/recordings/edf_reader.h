#pragma once

// Reading EDF, EDF+, BDF and BDF+ recordings into the common recording model.
// The header is parsed and checked here (edf_header.h); the EDF+/BDF+
// annotation lists are decoded by EDFlib. The samples are read here, from
// the data records: EDFlib holds every stored value to the signal's digital
// range, which the reference reader does not and which would silently flatten
// the peaks of a recording whose values pass its declared range (such files
// exist, and their Status codes pass it as a rule).
//
// The main rate is the rate most signals have (annotation signals aside);
// when two rates are equally common, the higher one, which is also the rate
// the reference reader resamples every signal to. Channels are the signals
// that are not annotation signals, in the file's order; only those at the
// main rate are read in blocks.
//
// Markers: every annotation becomes a marker named by its text (type empty)
// at its onset rounded to the nearest sample of the main rate, its duration
// rounded likewise (at least one sample). A channel labelled "Status" (the
// trigger channel of BDF recorders, which EDF exports keep) gives a marker of
// type "Status" named by the trigger code (decimal) wherever the low 16 bits
// of its stored integer change to a code other than 0; the first sample
// counts as a change from 0. Opening such a recording reads it through once,
// a data record at a time.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hostprogram/recordings/edf_header.h"
#include "hostprogram/recordings/recording.h"

struct EdfReader {
    std::string path;
    EdfHeader header;
    RecordingInfo info;
    std::vector<int> channelSignals;  // header.signals index of each info.channels entry
    std::vector<int> blockChannels;   // the channels at the main rate, as readEdfBlock gives them
    int mainSamplesPerRecord = 0;
    int statusChannel = -1;  // info.channels index, or -1
    std::FILE* file = nullptr;

    EdfReader() = default;
    ~EdfReader();
    EdfReader(const EdfReader&) = delete;
    EdfReader& operator=(const EdfReader&) = delete;
};

// Why a signal of the file can never be corrected, whatever the user picks.
enum class EdfExclusion { kNone, kStatus, kAnnotation, kOtherRate };

// For header.signals[signal] of an open reader.
EdfExclusion edfSignalExclusion(const EdfReader& reader, int signal);
// For info.channels[channel] of an open reader (never kAnnotation: annotation
// signals are not channels).
EdfExclusion edfChannelExclusion(const EdfReader& reader, int channel);

// Opens and checks the file, fills reader.info with its channels, main rate,
// sample count and markers. False with error "<path>: ..." naming the field
// or annotation that is wrong, and what was expected.
bool openEdf(const std::string& path, EdfReader& reader, std::string& error);

// Samples firstSample .. firstSample + count - 1 (main rate) of every channel
// in reader.blockChannels, in physical units, channel after channel:
// out[block * count + index]. False with error when the range passes the end
// of the recording or the file cannot be read.
bool readEdfBlock(EdfReader& reader, int64_t firstSample, int64_t count, float* out,
                  std::string& error);

void closeEdf(EdfReader& reader);
