#include "hostprogram/recordings/edf_corrected_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "hostprogram/recordings/edf_reader.h"
#include "hostprogram/recordings/edf_samples.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string failure(const std::string& path, const char* what) {
    return path + ": cannot " + what + ": " + std::strerror(errno);
}

bool copyFile(const std::string& from, std::FILE* to, const std::string& toPath,
              std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> input(std::fopen(from.c_str(), "rb"));
    if (!input) {
        error = failure(from, "open");
        return false;
    }
    std::vector<char> chunk(1 << 20);
    for (;;) {
        const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), input.get());
        if (read > 0 && std::fwrite(chunk.data(), 1, read, to) != read) {
            error = failure(toPath, "write");
            return false;
        }
        if (read < chunk.size()) break;
    }
    if (std::ferror(input.get())) {
        error = failure(from, "read");
        return false;
    }
    return true;
}

}  // namespace

EdfCorrectedCopy::~EdfCorrectedCopy() {
    if (file) std::fclose(file);
}

bool openEdfCorrectedCopy(const EdfReader& input, const std::string& outputPath,
                          EdfCorrectedCopy& copy, std::string& error) {
    if (copy.file) std::fclose(copy.file);
    copy.path = outputPath;
    copy.header = input.header;
    copy.channelSignals = input.channelSignals;
    copy.mainSamplesPerRecord = input.mainSamplesPerRecord;
    copy.samples = input.info.samples;
    copy.saturated.assign(input.info.channels.size(), 0);
    copy.file = std::fopen(outputPath.c_str(), "w+b");
    if (!copy.file) {
        error = failure(outputPath, "create");
        return false;
    }
    return copyFile(input.path, copy.file, outputPath, error);
}

bool writeEdfCorrectedBlock(EdfCorrectedCopy& copy, const std::vector<int>& channels,
                            int64_t firstSample, int64_t count, const float* samples,
                            std::string& error) {
    if (!copy.file) {
        error = copy.path + ": not open";
        return false;
    }
    for (int channel : channels) {
        const bool known = channel >= 0 && channel < static_cast<int>(copy.channelSignals.size());
        if (!known || copy.header
                              .signals[static_cast<std::size_t>(
                                  copy.channelSignals[static_cast<std::size_t>(channel)])]
                              .samplesPerRecord != copy.mainSamplesPerRecord) {
            error = copy.path + ": channel " + std::to_string(channel + 1) +
                    " cannot be corrected; expected a channel at the main rate";
            return false;
        }
    }
    if (firstSample < 0 || count < 0 || count > copy.samples ||
        firstSample > copy.samples - count) {
        error = copy.path + ": samples " + std::to_string(firstSample) + " to " +
                std::to_string(firstSample + count - 1) + " given, expected 0 to " +
                std::to_string(copy.samples - 1);
        return false;
    }
    if (count == 0) return true;
    const int sampleBytes = edfSampleBytes(copy.header);
    const int64_t recordBytes = edfRecordBytes(copy.header);
    const int64_t perRecord = copy.mainSamplesPerRecord;
    std::vector<unsigned char> record(static_cast<std::size_t>(recordBytes));
    // Whole records are read, patched and written back, so that a block
    // costs one read and one write per record whatever the channel count.
    for (int64_t index = firstSample / perRecord; index <= (firstSample + count - 1) / perRecord;
         ++index) {
        const int64_t recordStart = copy.header.headerBytes + index * recordBytes;
        if (fseeko(copy.file, recordStart, SEEK_SET) != 0 ||
            std::fread(record.data(), 1, record.size(), copy.file) != record.size()) {
            error = failure(copy.path, "read a data record back");
            return false;
        }
        const int64_t from = std::max(firstSample, index * perRecord);
        const int64_t to = std::min(firstSample + count, (index + 1) * perRecord);
        for (std::size_t k = 0; k < channels.size(); ++k) {
            const std::size_t channel = static_cast<std::size_t>(channels[k]);
            const int signal = copy.channelSignals[channel];
            const EdfSignal& stored = copy.header.signals[static_cast<std::size_t>(signal)];
            const float* values = samples + static_cast<int64_t>(k) * count;
            for (int64_t sample = from; sample < to; ++sample) {
                bool saturated = false;
                const int32_t digital =
                    edfDigitalOf(stored, values[sample - firstSample], saturated);
                copy.saturated[channel] += saturated ? 1 : 0;
                storeEdfSample(record.data() + (edfSampleBytePosition(copy.header, signal, sample) -
                                                recordStart),
                               sampleBytes, digital);
            }
        }
        if (fseeko(copy.file, recordStart, SEEK_SET) != 0 ||
            std::fwrite(record.data(), 1, record.size(), copy.file) != record.size()) {
            error = failure(copy.path, "write a data record");
            return false;
        }
    }
    return true;
}

bool closeEdfCorrectedCopy(EdfCorrectedCopy& copy, std::string& error) {
    if (!copy.file) return true;
    const bool flushed = std::fflush(copy.file) == 0;
    const bool closed = std::fclose(copy.file) == 0;
    copy.file = nullptr;
    if (!flushed || !closed) {
        error = failure(copy.path, "finish writing");
        return false;
    }
    return true;
}
