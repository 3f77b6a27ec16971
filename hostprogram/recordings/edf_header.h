#pragma once

// The fixed-layout ASCII header of EDF, EDF+, BDF and BDF+ files, parsed by
// the host itself: the library that reads the samples says only that a file
// has "format errors", while a person needs to know which field is wrong, and
// the corrected copy needs the byte layout of the data records, annotation
// signals included, which the library hides.

#include <cstdint>
#include <string>
#include <vector>

struct EdfSignal {
    std::string label;  // trailing blanks removed, as every field below
    std::string transducer;
    std::string physicalDimension;  // as stored ("uV"), not yet a RecordingChannel unit
    std::string prefilter;
    double physicalMinimum = 0;
    double physicalMaximum = 0;
    int32_t digitalMinimum = 0;
    int32_t digitalMaximum = 0;
    int32_t samplesPerRecord = 0;
    bool isAnnotation = false;        // an EDF+/BDF+ annotation signal
    int64_t firstSampleInRecord = 0;  // samples of the signals before it in one record
};

struct EdfHeader {
    bool bdf = false;   // 24-bit samples
    bool plus = false;  // EDF+ or BDF+: may carry annotation signals
    std::string patient;
    std::string recording;
    std::string startDate;  // dd.mm.yy
    std::string startTime;  // hh.mm.ss
    int64_t headerBytes = 0;
    int64_t records = 0;
    double recordDuration = 0;        // seconds
    int64_t samplesPerRecordAll = 0;  // of every signal together
    std::vector<EdfSignal> signals;
};

// Bytes of one stored sample: 2 (EDF) or 3 (BDF).
inline int edfSampleBytes(const EdfHeader& header) {
    return header.bdf ? 3 : 2;
}

inline int64_t edfRecordBytes(const EdfHeader& header) {
    return header.samplesPerRecordAll * edfSampleBytes(header);
}

// Byte offset in the file of sample `sample` (zero-based, at the signal's own
// rate) of signal `signal`, counting annotation signals.
int64_t edfSampleBytePosition(const EdfHeader& header, int signal, int64_t sample);

// The signal's sampling rate in Hz.
double edfSignalRate(const EdfHeader& header, int signal);

// Reads and checks the whole header against itself and the file's size.
// False with error "<path>: <field> ..., expected ..." when the file cannot be
// read, a field cannot be understood, a range is empty or beyond the format,
// or the data records do not fill the file exactly.
bool readEdfHeader(const std::string& path, EdfHeader& header, std::string& error);
