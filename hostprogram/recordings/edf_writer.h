#pragma once

// Writing a recording of another format as EDF+ or BDF+ through EDFlib, with
// the markers as annotations. EDFlib writes only the "+" variants; every EDF
// or BDF reader reads them, the annotation signal being one more signal.
//
// Every channel must be at the recording's main rate. The physical range of
// each channel comes from the caller: a first pass over the samples widens
// EdfPhysicalRange values (widenEdfRanges) and the writer rounds each range
// outward to what the header's 8 characters can hold, so every scanned value
// is inside it. The digital range is the format's whole range (16 or 24
// bits), which gives the finest resolution the range allows.
//
// Data records last at most one second where the sample count allows: the
// record length is the largest divisor of the sample count that is at most
// one second long (else up to a minute) and whose duration EDFlib can state
// exactly, so that the file has exactly the recording's samples. Only when no
// such divisor exists (512 Hz and 3000 samples: EDFlib states durations in
// steps of 10 us, so a record there is a multiple of 16 samples) is the last
// record padded with each channel's last value, and the file is longer than
// the recording by less than one record.
// Markers are stored with 0.1 ms resolution (EDFlib's), which reads back to
// the same sample at rates below 10 kHz. The start date is EDFlib's
// anonymous 1 January 1985, 00:00:00, since the model carries no date.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "hostprogram/recordings/edf_header.h"
#include "hostprogram/recordings/recording.h"

struct EdfPhysicalRange {
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();
};

// Widens ranges[channel] to hold every finite value of a block given channel
// after channel: samples[channel * count + index].
void widenEdfRanges(std::vector<EdfPhysicalRange>& ranges, const float* samples, int64_t count);

struct EdfWriter {
    std::string path;
    int handle = -1;  // EDFlib's, or -1 when closed
    int sampleBytes = 2;
    int64_t samples = 0;
    int64_t written = 0;
    int samplesPerRecord = 0;
    std::vector<EdfSignal> signals;  // as stored: the ranges that requantize
    std::vector<int> record;         // digital samples waiting for a full record
    std::vector<int64_t> saturated;  // per channel: values held to the range

    EdfWriter() = default;
    ~EdfWriter();
    EdfWriter(const EdfWriter&) = delete;
    EdfWriter& operator=(const EdfWriter&) = delete;
};

// Creates the file (format kEdf or kBdf) with the channels, ranges and
// markers of `info`. False with error naming the channel or marker that EDF
// cannot hold (a name over 16 or a unit over 8 characters, a range beyond 8
// characters, a marker outside the recording, a rate no record length fits).
bool openEdfWriter(const std::string& path, const RecordingInfo& info, RecordingFormat format,
                   const std::vector<EdfPhysicalRange>& ranges, EdfWriter& writer,
                   std::string& error);

// Appends the next `count` samples of every channel, channel after channel.
bool writeEdfBlock(EdfWriter& writer, const float* samples, int64_t count, std::string& error);

// Finishes the file. False with error when fewer samples were written than
// the recording has, or the file cannot be finished.
bool closeEdfWriter(EdfWriter& writer, std::string& error);
