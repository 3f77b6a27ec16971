#include "hostprogram/recordings/edf_writer.h"

#include <edflib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hostprogram/recordings/edf_library_error.h"
#include "hostprogram/recordings/edf_samples.h"

namespace {

constexpr int kHeaderNumberCharacters = 8;

// The nearest number at or beyond `value` (above it when `up`) that the
// header's 8 characters hold exactly: as many decimals as fit.
bool fitOutward(double value, bool up, double& fitted) {
    for (int decimals = 7; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        const double steps = up ? std::ceil(value * scale) : std::floor(value * scale);
        const double candidate = steps / scale;
        char text[64];
        const int length = std::snprintf(text, sizeof text, "%.*f", decimals, candidate);
        if (length <= kHeaderNumberCharacters && (up ? candidate >= value : candidate <= value)) {
            fitted = candidate;
            return true;
        }
    }
    return false;
}

// EDFlib cuts the digits that do not fit rather than rounding them, and the
// nearest double to 1.199001 lies just below it: nudged away from zero by a
// quarter of the last decimal's step, the value is written as fitted
// whether digits are cut or rounded. closeEdfWriter checks that they were.
double libraryNumber(double fitted) {
    char integerPart[64];
    const int integerDigits =
        std::snprintf(integerPart, sizeof integerPart, "%.0f", std::trunc(std::fabs(fitted)));
    const int sign = fitted < 0 ? 1 : 0;
    const int decimals = std::max(0, kHeaderNumberCharacters - sign - integerDigits - 1);
    return fitted + std::copysign(0.25 * std::pow(10.0, -decimals), fitted);
}

// A range that is not empty: a constant channel keeps its value at an end of
// the range, so that it is stored exactly; a channel without finite values
// gets -1 to 1.
bool headerRange(EdfPhysicalRange range, EdfPhysicalRange& fitted) {
    if (!(range.minimum <= range.maximum)) range = {-1, 1};
    if (range.minimum == range.maximum) {
        const double size = std::fabs(range.minimum);
        range = size == 0 ? EdfPhysicalRange{-1, 1} : EdfPhysicalRange{-size, size};
    }
    return fitOutward(range.minimum, false, fitted.minimum) &&
           fitOutward(range.maximum, true, fitted.maximum);
}

// The duration of `samples` samples at `rate` Hz as EDFlib takes it: in
// units of 10 us from 1 ms to 60 s, or of 1 us below 10 ms. False when
// neither states it exactly.
bool recordDuration(int64_t samples, double rate, int& units, bool& micro) {
    const auto whole = [](double value) {
        return std::fabs(value - std::round(value)) < 1e-9 * value;
    };
    const double tensOfMicroseconds = samples * 1e5 / rate;
    if (whole(tensOfMicroseconds) && tensOfMicroseconds >= 100 && tensOfMicroseconds <= 6e6) {
        units = static_cast<int>(std::llround(tensOfMicroseconds));
        micro = false;
        return true;
    }
    const double microseconds = samples * 1e6 / rate;
    if (whole(microseconds) && microseconds >= 1 && microseconds <= 9999) {
        units = static_cast<int>(std::llround(microseconds));
        micro = true;
        return true;
    }
    return false;
}

std::string headerUnit(const std::string& unit) {
    const std::string micro = "\xc2\xb5";
    return unit.compare(0, micro.size(), micro) == 0 ? "u" + unit.substr(micro.size()) : unit;
}

bool checkChannels(const std::string& path, const RecordingInfo& info, std::string& error) {
    for (std::size_t index = 0; index < info.channels.size(); ++index) {
        const RecordingChannel& channel = info.channels[index];
        const std::string which =
            path + ": channel " + std::to_string(index + 1) + " '" + channel.name + "'";
        if (channel.name.size() > 16) {
            error = which + ": the name has " + std::to_string(channel.name.size()) +
                    " characters, expected at most 16";
            return false;
        }
        if (headerUnit(channel.unit).size() > 8) {
            error = which + ": the unit '" + channel.unit + "' is longer than 8 characters";
            return false;
        }
        if (channel.samplingFrequency != info.samplingFrequency) {
            error = which + ": sampled at " + std::to_string(channel.samplingFrequency) +
                    " Hz, expected the recording's " + std::to_string(info.samplingFrequency) +
                    " Hz";
            return false;
        }
    }
    for (const RecordingMarker& marker : info.markers)
        if (marker.sample < 0 || marker.sample >= info.samples) {
            error = path + ": marker '" + marker.description + "' at sample " +
                    std::to_string(marker.sample) + " lies outside the recording; expected 0 to " +
                    std::to_string(info.samples - 1);
            return false;
        }
    return true;
}

// Not longer than a second where the sample count allows it; then up to a
// minute; a record never exceeds EDFlib's 10 MB.
bool chooseRecordLength(const RecordingInfo& info, int sampleBytes, int& samplesPerRecord,
                        int& units, bool& micro) {
    const int64_t maxBytes = 10 * 1000 * 1000;
    const int64_t oneSecond = static_cast<int64_t>(std::floor(info.samplingFrequency));
    const int64_t oneMinute = static_cast<int64_t>(std::floor(info.samplingFrequency * 60));
    const auto fits = [&](int64_t length) {
        return info.samples % length == 0 &&
               length * sampleBytes * static_cast<int64_t>(info.channels.size()) <= maxBytes &&
               recordDuration(length, info.samplingFrequency, units, micro);
    };
    for (int64_t length = std::min(info.samples, oneSecond); length >= 1; --length)
        if (fits(length)) return samplesPerRecord = static_cast<int>(length), true;
    for (int64_t length = oneSecond + 1; length <= std::min(info.samples, oneMinute); ++length)
        if (fits(length)) return samplesPerRecord = static_cast<int>(length), true;
    // No record length divides the samples: the last record is padded.
    for (int64_t length = std::min(info.samples, oneSecond); length >= 1; --length)
        if (length * sampleBytes * static_cast<int64_t>(info.channels.size()) <= maxBytes &&
            recordDuration(length, info.samplingFrequency, units, micro))
            return samplesPerRecord = static_cast<int>(length), true;
    return false;
}

bool writeRecord(EdfWriter& writer, std::string& error) {
    for (std::size_t channel = 0; channel < writer.signals.size(); ++channel)
        if (edfwrite_digital_samples(
                writer.handle, writer.record.data() + channel * writer.samplesPerRecord) != 0) {
            error = writer.path + ": cannot write a data record";
            return false;
        }
    return true;
}

}  // namespace

void widenEdfRanges(std::vector<EdfPhysicalRange>& ranges, const float* samples, int64_t count) {
    for (std::size_t channel = 0; channel < ranges.size(); ++channel)
        for (int64_t index = 0; index < count; ++index) {
            const double value = samples[static_cast<int64_t>(channel) * count + index];
            if (!std::isfinite(value)) continue;
            ranges[channel].minimum = std::fmin(ranges[channel].minimum, value);
            ranges[channel].maximum = std::fmax(ranges[channel].maximum, value);
        }
}

EdfWriter::~EdfWriter() {
    if (handle >= 0) edfclose_file(handle);
}

bool openEdfWriter(const std::string& path, const RecordingInfo& info, RecordingFormat format,
                   const std::vector<EdfPhysicalRange>& ranges, EdfWriter& writer,
                   std::string& error) {
    if (writer.handle >= 0) edfclose_file(writer.handle);
    writer.handle = -1;
    writer.written = 0;
    writer.path = path;
    const bool bdf = format == RecordingFormat::kBdf;
    writer.sampleBytes = bdf ? 3 : 2;
    writer.samples = info.samples;
    const int channels = static_cast<int>(info.channels.size());
    if (channels < 1 || channels > EDFLIB_MAXSIGNALS - 64 || info.samples < 1 ||
        ranges.size() != info.channels.size()) {
        error = path + ": " + std::to_string(channels) + " channels of " +
                std::to_string(info.samples) + " samples with " + std::to_string(ranges.size()) +
                " ranges; expected 1 to 576 channels, one range each, and samples";
        return false;
    }
    if (!checkChannels(path, info, error)) return false;
    int units = 0;
    bool micro = false;
    if (!chooseRecordLength(info, writer.sampleBytes, writer.samplesPerRecord, units, micro)) {
        error = path + ": no data record of at most a second holds a whole number of samples at " +
                std::to_string(info.samplingFrequency) + " Hz";
        return false;
    }
    const int64_t records = (info.samples + writer.samplesPerRecord - 1) / writer.samplesPerRecord;
    // EDFlib fits one annotation into each record of each annotation signal.
    const int64_t annotationSignals =
        std::max<int64_t>(1, (static_cast<int64_t>(info.markers.size()) + records - 1) / records);
    if (annotationSignals > 64) {
        error = path + ": " + std::to_string(info.markers.size()) + " markers in " +
                std::to_string(records) + " data records; expected at most 64 per record";
        return false;
    }
    writer.signals.resize(static_cast<std::size_t>(channels));
    for (int channel = 0; channel < channels; ++channel) {
        EdfSignal& signal = writer.signals[static_cast<std::size_t>(channel)];
        EdfPhysicalRange fitted;
        if (!headerRange(ranges[static_cast<std::size_t>(channel)], fitted)) {
            error = path + ": channel " + std::to_string(channel + 1) + " '" +
                    info.channels[static_cast<std::size_t>(channel)].name +
                    "': its values pass the 8 characters of an EDF header's physical range";
            return false;
        }
        signal.physicalMinimum = fitted.minimum;
        signal.physicalMaximum = fitted.maximum;
        signal.digitalMinimum = bdf ? -8388608 : -32768;
        signal.digitalMaximum = bdf ? 8388607 : 32767;
        signal.samplesPerRecord = writer.samplesPerRecord;
    }

    const int handle = edfopen_file_writeonly(
        path.c_str(), bdf ? EDFLIB_FILETYPE_BDFPLUS : EDFLIB_FILETYPE_EDFPLUS, channels);
    if (handle < 0) {
        error = path + ": cannot create: " + edfLibraryError(handle);
        return false;
    }
    writer.handle = handle;
    bool set =
        (micro ? edf_set_micro_datarecord_duration(handle, units)
               : edf_set_datarecord_duration(handle, units)) == 0 &&
        edf_set_number_of_annotation_signals(handle, static_cast<int>(annotationSignals)) == 0 &&
        edf_set_startdatetime(handle, 1985, 1, 1, 0, 0, 0) == 0;
    for (int channel = 0; channel < channels && set; ++channel) {
        const EdfSignal& signal = writer.signals[static_cast<std::size_t>(channel)];
        const RecordingChannel& source = info.channels[static_cast<std::size_t>(channel)];
        set =
            edf_set_samplefrequency(handle, channel, signal.samplesPerRecord) == 0 &&
            edf_set_physical_maximum(handle, channel, libraryNumber(signal.physicalMaximum)) == 0 &&
            edf_set_physical_minimum(handle, channel, libraryNumber(signal.physicalMinimum)) == 0 &&
            edf_set_digital_maximum(handle, channel, signal.digitalMaximum) == 0 &&
            edf_set_digital_minimum(handle, channel, signal.digitalMinimum) == 0 &&
            edf_set_label(handle, channel, source.name.c_str()) == 0 &&
            edf_set_physical_dimension(handle, channel, headerUnit(source.unit).c_str()) == 0;
    }
    // Onsets and durations in EDFlib's units of 0.1 ms.
    const double perSample = 1e4 / info.samplingFrequency;
    for (std::size_t index = 0; index < info.markers.size() && set; ++index) {
        const RecordingMarker& marker = info.markers[index];
        set = edfwrite_annotation_utf8(
                  handle, std::llround(marker.sample * perSample),
                  marker.duration > 1 ? std::llround(marker.duration * perSample) : -1,
                  marker.description.c_str()) == 0;
    }
    if (!set) {
        error = path + ": EDFlib refuses the header or an annotation";
        return false;
    }
    writer.record.assign(static_cast<std::size_t>(channels) * writer.samplesPerRecord, 0);
    writer.saturated.assign(static_cast<std::size_t>(channels), 0);
    return true;
}

bool writeEdfBlock(EdfWriter& writer, const float* samples, int64_t count, std::string& error) {
    if (writer.handle < 0 || count < 0 || count > writer.samples - writer.written) {
        error = writer.path + ": " + std::to_string(count) + " more samples given after " +
                std::to_string(writer.written) + ", expected at most " +
                std::to_string(writer.samples - writer.written);
        return false;
    }
    const std::size_t perRecord = static_cast<std::size_t>(writer.samplesPerRecord);
    for (int64_t index = 0; index < count; ++index) {
        const std::size_t inRecord =
            static_cast<std::size_t>(writer.written % writer.samplesPerRecord);
        for (std::size_t channel = 0; channel < writer.signals.size(); ++channel) {
            bool saturated = false;
            writer.record[channel * perRecord + inRecord] =
                edfDigitalOf(writer.signals[channel],
                             samples[static_cast<int64_t>(channel) * count + index], saturated);
            writer.saturated[channel] += saturated ? 1 : 0;
        }
        ++writer.written;
        if (inRecord + 1 == perRecord && !writeRecord(writer, error)) return false;
    }
    return true;
}

bool closeEdfWriter(EdfWriter& writer, std::string& error) {
    if (writer.handle < 0) return true;
    const std::size_t perRecord = static_cast<std::size_t>(writer.samplesPerRecord);
    const std::size_t filled = static_cast<std::size_t>(writer.written % writer.samplesPerRecord);
    if (writer.written == writer.samples && filled > 0) {
        for (std::size_t channel = 0; channel < writer.signals.size(); ++channel)
            std::fill(writer.record.begin() + channel * perRecord + filled,
                      writer.record.begin() + (channel + 1) * perRecord,
                      writer.record[channel * perRecord + filled - 1]);
        if (!writeRecord(writer, error)) {
            edfclose_file(writer.handle);
            writer.handle = -1;
            return false;
        }
    }
    const bool closed = edfclose_file(writer.handle) == 0;
    writer.handle = -1;
    if (writer.written != writer.samples) {
        error = writer.path + ": " + std::to_string(writer.written) + " of " +
                std::to_string(writer.samples) + " samples were written";
        return false;
    }
    if (!closed) {
        error = writer.path + ": cannot finish the file";
        return false;
    }
    // The samples were requantized to the ranges meant for the header; a
    // header that states other ones would shift every sample.
    EdfHeader written;
    if (!readEdfHeader(writer.path, written, error)) return false;
    for (std::size_t channel = 0; channel < writer.signals.size(); ++channel) {
        const EdfSignal& meant = writer.signals[channel];
        const EdfSignal& stored = written.signals[channel];
        if (stored.physicalMinimum != meant.physicalMinimum ||
            stored.physicalMaximum != meant.physicalMaximum) {
            error = writer.path + ": channel " + std::to_string(channel + 1) +
                    " was written with the physical range " +
                    std::to_string(stored.physicalMinimum) + " to " +
                    std::to_string(stored.physicalMaximum) + ", expected " +
                    std::to_string(meant.physicalMinimum) + " to " +
                    std::to_string(meant.physicalMaximum);
            return false;
        }
    }
    return true;
}
