#pragma once

// The corrected copy of an EDF or BDF recording: the input file copied byte
// for byte, then the samples of the corrected channels rewritten in place in
// their data records. Every header field (patient, recording, start, each
// signal's label, transducer, dimension, ranges, prefiltering and samples per
// record) and every annotation signal thus stay exactly as the input has them.
// EDFlib is not used here: it writes only EDF+/BDF+ headers of its own making
// (it re-spells the patient and recording fields and the reserved field, and
// cannot write a plain EDF or BDF header at all) and regenerates the
// annotation signals instead of keeping them.
//
// Corrected values are requantized to the input signal's own digital
// resolution (rounded to the nearest step); values beyond its physical range
// are held to the range's ends and counted per channel.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "hostprogram/recordings/edf_header.h"

struct EdfReader;

struct EdfCorrectedCopy {
    std::string path;
    EdfHeader header;                 // the input's, which the copy keeps
    std::vector<int> channelSignals;  // as in the reader
    int mainSamplesPerRecord = 0;
    int64_t samples = 0;             // per channel at the main rate
    std::vector<int64_t> saturated;  // per channel: values held to the physical range
    std::FILE* file = nullptr;

    EdfCorrectedCopy() = default;
    ~EdfCorrectedCopy();
    EdfCorrectedCopy(const EdfCorrectedCopy&) = delete;
    EdfCorrectedCopy& operator=(const EdfCorrectedCopy&) = delete;
};

// Copies the input of the open reader to outputPath (replacing a file there)
// and keeps it open for the corrected blocks. False with error naming the
// file that cannot be read or written.
bool openEdfCorrectedCopy(const EdfReader& input, const std::string& outputPath,
                          EdfCorrectedCopy& copy, std::string& error);

// Replaces samples firstSample .. firstSample + count - 1 of the given
// channels (info.channels indices, each at the main rate) by `samples`, given
// channel after channel in the order of `channels`: samples[k * count + index].
// Blocks may come in any order; what is never written stays as the input has
// it. False with error when a channel is not at the main rate, the range
// passes the end, or the file cannot be written.
bool writeEdfCorrectedBlock(EdfCorrectedCopy& copy, const std::vector<int>& channels,
                            int64_t firstSample, int64_t count, const float* samples,
                            std::string& error);

// Flushes and closes the copy; copy.saturated keeps the counts for the
// caller's warning. False with error when the last writes fail.
bool closeEdfCorrectedCopy(EdfCorrectedCopy& copy, std::string& error);
