// Layout of the header, every field ASCII, left-aligned and padded with blanks:
//
//   bytes  field
//   8      version: "0" (EDF) or byte 0xFF followed by "BIOSEMI" (BDF)
//   80     local patient identification
//   80     local recording identification
//   8      start date dd.mm.yy
//   8      start time hh.mm.ss
//   8      number of bytes in the header: 256 * (signals + 1)
//   44     reserved: starts with "EDF+C"/"EDF+D" (EDF+) or "BDF+C"/"BDF+D" (BDF+)
//   8      number of data records
//   8      duration of a data record, seconds
//   4      number of signals ns
//   then, each field once for every signal before the next field:
//   ns*16  label ("EDF Annotations"/"BDF Annotations" for annotation signals)
//   ns*80  transducer type
//   ns*8   physical dimension
//   ns*8   physical minimum
//   ns*8   physical maximum
//   ns*8   digital minimum
//   ns*8   digital maximum
//   ns*80  prefiltering
//   ns*8   number of samples in each data record
//   ns*32  reserved
//
// The data records follow: in each, the samples of signal 0, then those of
// signal 1, and so on, little-endian two's complement integers of 2 (EDF) or
// 3 (BDF) bytes.

#include "hostprogram/recordings/edf_header.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr int kFixedBytes = 256;
constexpr int kBytesPerSignal = 256;
// The library's own bound on signals; a header with more would be read here
// and then refused there with no reason given.
constexpr int kMaxSignals = 640;

std::string trimmed(const std::string& text) {
    std::size_t end = text.find_last_not_of(' ');
    std::size_t begin = text.find_first_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

struct FieldReader {
    const std::string& bytes;
    std::size_t position;

    std::string take(std::size_t length) {
        std::string field = bytes.substr(position, length);
        position += length;
        return field;
    }
};

bool parseWhole(const std::string& text, int64_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = parsed;
    return true;
}

bool parseDecimal(const std::string& text, double& value) {
    if (text.empty()) return false;
    // Some writers use a decimal comma; the number means the same.
    std::string point = text;
    for (char& c : point)
        if (c == ',') c = '.';
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(point.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

std::string wrongField(const std::string& path, const std::string& field, const std::string& text,
                       const std::string& expected) {
    return path + ": header field '" + field + "' is '" + text + "', expected " + expected;
}

std::string signalField(int signal, const char* field) {
    return field + std::string(" of signal ") + std::to_string(signal + 1);
}

}  // namespace

int64_t edfSampleBytePosition(const EdfHeader& header, int signal, int64_t sample) {
    const EdfSignal& stored = header.signals[static_cast<std::size_t>(signal)];
    const int64_t record = sample / stored.samplesPerRecord;
    const int64_t inRecord = sample % stored.samplesPerRecord;
    return header.headerBytes + record * edfRecordBytes(header) +
           (stored.firstSampleInRecord + inRecord) * edfSampleBytes(header);
}

double edfSignalRate(const EdfHeader& header, int signal) {
    return header.signals[static_cast<std::size_t>(signal)].samplesPerRecord /
           header.recordDuration;
}

bool readEdfHeader(const std::string& path, EdfHeader& header, std::string& error) {
    header = EdfHeader();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    file.seekg(0, std::ios::end);
    const int64_t fileBytes = static_cast<int64_t>(file.tellg());
    file.seekg(0);
    std::string bytes(kFixedBytes, '\0');
    if (fileBytes < kFixedBytes || !file.read(&bytes[0], kFixedBytes)) {
        error = path + ": shorter than the 256 bytes of an EDF or BDF header";
        return false;
    }
    FieldReader fields{bytes, 0};
    const std::string version = fields.take(8);
    if (version == std::string("\xff"
                               "BIOSEMI")) {
        header.bdf = true;
    } else if (trimmed(version) != "0") {
        error = wrongField(path, "version", version, "'0' (EDF) or 0xFF 'BIOSEMI' (BDF)");
        return false;
    }
    header.patient = trimmed(fields.take(80));
    header.recording = trimmed(fields.take(80));
    header.startDate = trimmed(fields.take(8));
    header.startTime = trimmed(fields.take(8));
    const std::string headerBytesText = trimmed(fields.take(8));
    const std::string reserved = fields.take(44);
    const std::string recordsText = trimmed(fields.take(8));
    const std::string durationText = trimmed(fields.take(8));
    const std::string signalsText = trimmed(fields.take(4));

    const std::string plusMark = header.bdf ? "BDF+" : "EDF+";
    header.plus = reserved.compare(0, 4, plusMark) == 0 || reserved.compare(0, 4, "EDF+") == 0;
    if (header.plus && reserved[4] == 'D') {
        error = path + ": header field 'reserved' is '" + trimmed(reserved) +
                "', a discontinuous recording; expected a continuous one ('" + plusMark + "C')";
        return false;
    }
    int64_t signals = 0;
    if (!parseWhole(signalsText, signals) || signals < 1 || signals > kMaxSignals) {
        error = wrongField(path, "number of signals", signalsText, "a whole number from 1 to 640");
        return false;
    }
    if (!parseWhole(headerBytesText, header.headerBytes) ||
        header.headerBytes != kFixedBytes + kBytesPerSignal * signals) {
        error = wrongField(path, "number of bytes in header", headerBytesText,
                           std::to_string(kFixedBytes + kBytesPerSignal * signals) + " for " +
                               std::to_string(signals) + " signals");
        return false;
    }
    if (!parseWhole(recordsText, header.records) || header.records < 1) {
        error =
            wrongField(path, "number of data records", recordsText, "a whole number of at least 1");
        return false;
    }
    if (!parseDecimal(durationText, header.recordDuration) || header.recordDuration <= 0) {
        error = wrongField(path, "duration of a data record", durationText,
                           "a positive number of seconds");
        return false;
    }

    if (fileBytes < header.headerBytes) {
        error =
            path + ": shorter than its header of " + std::to_string(header.headerBytes) + " bytes";
        return false;
    }
    std::string signalBytes(static_cast<std::size_t>(kBytesPerSignal * signals), '\0');
    if (!file.read(&signalBytes[0], static_cast<std::streamsize>(signalBytes.size()))) {
        error = path + ": cannot read the signal header";
        return false;
    }
    FieldReader signalFields{signalBytes, 0};
    header.signals.resize(static_cast<std::size_t>(signals));
    for (EdfSignal& signal : header.signals) signal.label = trimmed(signalFields.take(16));
    for (EdfSignal& signal : header.signals) signal.transducer = trimmed(signalFields.take(80));
    for (EdfSignal& signal : header.signals)
        signal.physicalDimension = trimmed(signalFields.take(8));
    // Physical minimum, physical maximum, digital minimum, digital maximum,
    // and after the prefiltering, samples per record.
    std::vector<std::string> numbers[5];
    for (int column = 0; column < 5; ++column) {
        if (column == 4)
            for (EdfSignal& signal : header.signals)
                signal.prefilter = trimmed(signalFields.take(80));
        for (int64_t index = 0; index < signals; ++index)
            numbers[column].push_back(trimmed(signalFields.take(8)));
    }
    const int64_t digitalLow = header.bdf ? -8388608 : -32768;
    const int64_t digitalHigh = header.bdf ? 8388607 : 32767;
    const std::string digitalBounds =
        "a whole number from " + std::to_string(digitalLow) + " to " + std::to_string(digitalHigh);
    const std::string annotationLabel = header.bdf ? "BDF Annotations" : "EDF Annotations";
    for (int index = 0; index < static_cast<int>(signals); ++index) {
        EdfSignal& signal = header.signals[static_cast<std::size_t>(index)];
        const auto text = [&](int column) {
            return numbers[column][static_cast<std::size_t>(index)];
        };
        int64_t digitalMinimum = 0, digitalMaximum = 0, samplesPerRecord = 0;
        if (!parseDecimal(text(0), signal.physicalMinimum)) {
            error = wrongField(path, signalField(index, "physical minimum"), text(0), "a number");
            return false;
        }
        if (!parseDecimal(text(1), signal.physicalMaximum) ||
            signal.physicalMaximum == signal.physicalMinimum) {
            error = wrongField(path, signalField(index, "physical maximum"), text(1),
                               "a number other than the physical minimum " + text(0));
            return false;
        }
        if (!parseWhole(text(2), digitalMinimum) || digitalMinimum < digitalLow ||
            digitalMinimum > digitalHigh) {
            error = wrongField(path, signalField(index, "digital minimum"), text(2), digitalBounds);
            return false;
        }
        if (!parseWhole(text(3), digitalMaximum) || digitalMaximum <= digitalMinimum ||
            digitalMaximum > digitalHigh) {
            error = wrongField(path, signalField(index, "digital maximum"), text(3),
                               digitalBounds + " above the digital minimum " + text(2));
            return false;
        }
        if (!parseWhole(text(4), samplesPerRecord) || samplesPerRecord < 1 ||
            samplesPerRecord > (int64_t{1} << 24)) {
            error = wrongField(path, signalField(index, "number of samples in each data record"),
                               text(4), "a whole number of at least 1");
            return false;
        }
        signal.digitalMinimum = static_cast<int32_t>(digitalMinimum);
        signal.digitalMaximum = static_cast<int32_t>(digitalMaximum);
        signal.samplesPerRecord = static_cast<int32_t>(samplesPerRecord);
        signal.isAnnotation = header.plus && signal.label == annotationLabel;
        signal.firstSampleInRecord = header.samplesPerRecordAll;
        header.samplesPerRecordAll += samplesPerRecord;
    }

    // At most 640 signals of at most 2^24 samples: the products stay far
    // inside 64 bits, but a record count read from the file need not.
    const int64_t recordBytes = edfRecordBytes(header);
    const int64_t dataBytes = fileBytes - header.headerBytes;
    if (header.records > dataBytes / recordBytes || header.records * recordBytes != dataBytes) {
        error = path + ": header field 'number of data records' is " + recordsText + ", expected " +
                std::to_string(dataBytes / recordBytes) + " (" + std::to_string(dataBytes) +
                " bytes of data after the header, " + std::to_string(recordBytes) +
                " bytes per data record)";
        return false;
    }
    return true;
}
