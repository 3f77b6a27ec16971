#include "hostprogram/recordings/edf_reader.h"

#include <edflib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "hostprogram/recordings/edf_library_error.h"
#include "hostprogram/recordings/edf_samples.h"

namespace {

// "uV" is how EDF spells the micro sign in its ASCII header (some writers
// put the Latin-1 sign); the model uses the sign itself in UTF-8, as the
// reference reader does.
std::string unitOf(const std::string& dimension) {
    const bool micro = dimension.size() >= 2 && (dimension[0] == 'u' || dimension[0] == '\xb5') &&
                       std::isupper(static_cast<unsigned char>(dimension[1]));
    return micro ? "\xc2\xb5" + dimension.substr(1) : dimension;
}

bool isStatusLabel(const std::string& label) {
    std::string lower = label;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower == "status";
}

int mainSamplesPerRecord(const EdfHeader& header) {
    std::map<int, int> signalsAt;
    for (const EdfSignal& signal : header.signals)
        if (!signal.isAnnotation) ++signalsAt[signal.samplesPerRecord];
    int best = 0, bestCount = 0;
    for (const auto& [samples, count] : signalsAt)
        if (count >= bestCount) best = samples, bestCount = count;  // ascending: ties to higher
    return best;
}

int64_t toMainSample(const EdfReader& reader, long long onset) {
    return std::llround(static_cast<double>(onset) / EDFLIB_TIME_DIMENSION *
                        reader.info.samplingFrequency);
}

bool readAnnotations(EdfReader& reader, int handle, long long count, std::string& error) {
    edf_annotation_struct annotation;
    for (long long index = 0; index < count; ++index) {
        if (edf_get_annotation(handle, static_cast<int>(index), &annotation) != 0) {
            error = reader.path + ": cannot read annotation " + std::to_string(index + 1);
            return false;
        }
        RecordingMarker marker;
        marker.description = annotation.annotation;
        marker.sample = toMainSample(reader, annotation.onset);
        if (annotation.duration_l > 0)
            marker.duration = std::max<int64_t>(1, toMainSample(reader, annotation.duration_l));
        if (marker.sample < 0 || marker.sample >= reader.info.samples) {
            error = reader.path + ": annotation '" + marker.description + "' at " +
                    std::to_string(static_cast<double>(annotation.onset) / EDFLIB_TIME_DIMENSION) +
                    " s lies outside the recording; expected an onset from 0 to " +
                    std::to_string((reader.info.samples - 1) / reader.info.samplingFrequency) +
                    " s";
            return false;
        }
        reader.info.markers.push_back(marker);
    }
    return true;
}

bool readRecord(EdfReader& reader, int64_t record, std::vector<unsigned char>& bytes,
                std::string& error) {
    bytes.resize(static_cast<std::size_t>(edfRecordBytes(reader.header)));
    if (fseeko(reader.file, reader.header.headerBytes + record * edfRecordBytes(reader.header),
               SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), reader.file) != bytes.size()) {
        error = reader.path + ": cannot read data record " + std::to_string(record + 1) + ": " +
                (std::ferror(reader.file) ? std::strerror(errno) : "the file ends before it");
        return false;
    }
    return true;
}

int32_t storedSample(const EdfReader& reader, const std::vector<unsigned char>& record,
                     int64_t recordIndex, int signal, int64_t sample) {
    const int64_t recordStart =
        reader.header.headerBytes + recordIndex * edfRecordBytes(reader.header);
    return loadEdfSample(
        record.data() + (edfSampleBytePosition(reader.header, signal, sample) - recordStart),
        edfSampleBytes(reader.header));
}

bool readStatusTriggers(EdfReader& reader, std::string& error) {
    const int signal = reader.channelSignals[static_cast<std::size_t>(reader.statusChannel)];
    const double rate = edfSignalRate(reader.header, signal);
    const int64_t perRecord =
        reader.header.signals[static_cast<std::size_t>(signal)].samplesPerRecord;
    // One record at a time: bounded memory whatever the recording's length.
    std::vector<unsigned char> record;
    int32_t previous = 0;
    for (int64_t index = 0; index < reader.header.records; ++index) {
        if (!readRecord(reader, index, record, error)) return false;
        for (int64_t sample = index * perRecord; sample < (index + 1) * perRecord; ++sample) {
            const int32_t code = storedSample(reader, record, index, signal, sample) & 0xFFFF;
            if (code != previous && code != 0) {
                RecordingMarker marker;
                marker.type = "Status";
                marker.description = std::to_string(code);
                marker.sample = std::llround(sample * reader.info.samplingFrequency / rate);
                reader.info.markers.push_back(marker);
            }
            previous = code;
        }
    }
    return true;
}

}  // namespace

EdfReader::~EdfReader() {
    closeEdf(*this);
}

void closeEdf(EdfReader& reader) {
    if (reader.file) std::fclose(reader.file);
    reader.file = nullptr;
}

EdfExclusion edfSignalExclusion(const EdfReader& reader, int signal) {
    const EdfSignal& stored = reader.header.signals[static_cast<std::size_t>(signal)];
    if (stored.isAnnotation) return EdfExclusion::kAnnotation;
    if (isStatusLabel(stored.label)) return EdfExclusion::kStatus;
    if (stored.samplesPerRecord != reader.mainSamplesPerRecord) return EdfExclusion::kOtherRate;
    return EdfExclusion::kNone;
}

EdfExclusion edfChannelExclusion(const EdfReader& reader, int channel) {
    return edfSignalExclusion(reader, reader.channelSignals[static_cast<std::size_t>(channel)]);
}

bool openEdf(const std::string& path, EdfReader& reader, std::string& error) {
    closeEdf(reader);
    reader.path = path;
    reader.info = RecordingInfo();
    reader.channelSignals.clear();
    reader.blockChannels.clear();
    reader.statusChannel = -1;
    if (!readEdfHeader(path, reader.header, error)) return false;
    const EdfHeader& header = reader.header;
    reader.mainSamplesPerRecord = mainSamplesPerRecord(header);
    if (reader.mainSamplesPerRecord == 0) {
        error = path + ": has only annotation signals; expected at least one channel";
        return false;
    }
    RecordingInfo& info = reader.info;
    info.format = header.bdf ? RecordingFormat::kBdf : RecordingFormat::kEdf;
    info.samplingFrequency = reader.mainSamplesPerRecord / header.recordDuration;
    info.samples = header.records * reader.mainSamplesPerRecord;
    for (int signal = 0; signal < static_cast<int>(header.signals.size()); ++signal) {
        const EdfSignal& stored = header.signals[static_cast<std::size_t>(signal)];
        if (stored.isAnnotation) continue;
        const int channel = static_cast<int>(info.channels.size());
        info.channels.push_back(
            {stored.label, unitOf(stored.physicalDimension), edfSignalRate(header, signal)});
        reader.channelSignals.push_back(signal);
        if (stored.samplesPerRecord == reader.mainSamplesPerRecord)
            reader.blockChannels.push_back(channel);
        if (reader.statusChannel < 0 && isStatusLabel(stored.label)) reader.statusChannel = channel;
    }

    reader.file = std::fopen(path.c_str(), "rb");
    if (!reader.file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    // EDFlib decodes the annotation lists and is asked for nothing else; a
    // file without annotation signals does not need it (and EDFlib refuses
    // some plain BDF files that every other reader reads, saying only that
    // they have format errors).
    bool annotationsRead = true;
    if (std::any_of(header.signals.begin(), header.signals.end(),
                    [](const EdfSignal& signal) { return signal.isAnnotation; })) {
        auto library = std::make_unique<edf_hdr_struct>();
        if (edfopen_file_readonly(path.c_str(), library.get(), EDFLIB_READ_ALL_ANNOTATIONS) != 0) {
            error = path + ": " + edfLibraryError(library->filetype);
            closeEdf(reader);
            return false;
        }
        // The library numbers the signals without the annotation signals; its
        // count must agree with the header's for both to describe one file.
        const bool sameSignals = library->edfsignals == static_cast<int>(info.channels.size());
        if (!sameSignals)
            error = path + ": EDFlib sees " + std::to_string(library->edfsignals) +
                    " signals besides annotations, the header " +
                    std::to_string(info.channels.size());
        annotationsRead = sameSignals && readAnnotations(reader, library->handle,
                                                         library->annotations_in_file, error);
        edfclose_file(library->handle);
    }
    if (!annotationsRead || (reader.statusChannel >= 0 && !readStatusTriggers(reader, error))) {
        closeEdf(reader);
        return false;
    }
    std::stable_sort(
        info.markers.begin(), info.markers.end(),
        [](const RecordingMarker& a, const RecordingMarker& b) { return a.sample < b.sample; });
    return true;
}

bool readEdfBlock(EdfReader& reader, int64_t firstSample, int64_t count, float* out,
                  std::string& error) {
    if (!reader.file) {
        error = reader.path + ": not open";
        return false;
    }
    if (firstSample < 0 || count < 0 || count > reader.info.samples ||
        firstSample > reader.info.samples - count) {
        error = reader.path + ": samples " + std::to_string(firstSample) + " to " +
                std::to_string(firstSample + count - 1) + " requested, expected 0 to " +
                std::to_string(reader.info.samples - 1);
        return false;
    }
    if (count == 0) return true;
    const int64_t perRecord = reader.mainSamplesPerRecord;
    std::vector<unsigned char> record;
    for (int64_t index = firstSample / perRecord; index <= (firstSample + count - 1) / perRecord;
         ++index) {
        if (!readRecord(reader, index, record, error)) return false;
        const int64_t from = std::max(firstSample, index * perRecord);
        const int64_t to = std::min(firstSample + count, (index + 1) * perRecord);
        for (std::size_t block = 0; block < reader.blockChannels.size(); ++block) {
            const int signal =
                reader.channelSignals[static_cast<std::size_t>(reader.blockChannels[block])];
            const EdfScale scale =
                edfScaleOf(reader.header.signals[static_cast<std::size_t>(signal)]);
            float* values = out + static_cast<int64_t>(block) * count;
            for (int64_t sample = from; sample < to; ++sample)
                values[sample - firstSample] = static_cast<float>(
                    scale.gain * storedSample(reader, record, index, signal, sample) +
                    scale.offset);
        }
    }
    return true;
}
