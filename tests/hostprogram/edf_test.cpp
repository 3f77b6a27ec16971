// EDF and BDF reading, the corrected copy and the writer, checked against
// each other and against MNE-Python, the reference reader of the field.

#include <edflib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>

#include "hostprogram/recordings/edf_corrected_copy.h"
#include "hostprogram/recordings/edf_reader.h"
#include "hostprogram/recordings/edf_samples.h"
#include "hostprogram/recordings/edf_writer.h"
#include "test_files.h"
#include "tests/support/mne_python.h"

namespace {

// What MNE-Python reads: rate, length, channel names, every channel's
// samples in the file's own units, annotations and Status events as
// (sample, text) pairs.
const char* const kMneDump = R"(
import sys, mne, numpy as np
mne.set_log_level('ERROR')
path, out = sys.argv[1], sys.argv[2]
read = mne.io.read_raw_bdf if path.lower().endswith('.bdf') else mne.io.read_raw_edf
raw = read(path, preload=True)
sfreq = raw.info['sfreq']
scales = {'µV': 1e-6, 'uV': 1e-6, 'mV': 1e-3, 'nV': 1e-9}
data = raw.get_data()
with open(out + '.txt', 'w', encoding='utf-8') as text:
    text.write('%r %d %d\n' % (sfreq, raw.n_times, len(raw.ch_names)))
    for index, name in enumerate(raw.ch_names):
        text.write(name + '\n')
        data[index] /= scales.get(raw._orig_units.get(name, ''), 1.0)
    for annotation in raw.annotations:
        text.write('A %d %s\n' % (round(annotation['onset'] * sfreq), annotation['description']))
    if 'Status' in raw.ch_names:
        events = mne.find_events(raw, stim_channel='Status', consecutive=True, shortest_event=1,
                                 initial_event=True, mask=0xFFFF, mask_type='and')
        for sample, _, code in events:
            text.write('E %d %d\n' % (sample, code))
data.astype('<f8').tofile(out + '.bin')
)";

struct MneView {
    double rate = 0;
    int64_t samples = 0;
    std::vector<std::string> names;
    std::vector<std::string> markers;  // "sample text", annotations then events
    std::vector<double> data;          // channel after channel
};

bool readWithMne(const std::string& python, const TemporaryFolder& folder, const std::string& path,
                 MneView& view) {
    writeFile(folder.file("dump.py"), kMneDump);
    const std::string out = folder.file("mne");
    const std::string command =
        python + " '" + folder.file("dump.py") + "' '" + path + "' '" + out + "'";
    if (std::system(command.c_str()) != 0) return false;
    std::istringstream text(readFile(out + ".txt"));
    std::size_t channels = 0;
    text >> view.rate >> view.samples >> channels;
    std::string line;
    std::getline(text, line);
    for (std::size_t index = 0; index < channels && std::getline(text, line); ++index)
        view.names.push_back(line);
    while (std::getline(text, line)) view.markers.push_back(line.substr(2));
    const std::string bytes = readFile(out + ".bin");
    view.data.resize(bytes.size() / sizeof(double));
    std::memcpy(view.data.data(), bytes.data(), view.data.size() * sizeof(double));
    return view.data.size() == channels * static_cast<std::size_t>(view.samples);
}

std::vector<std::string> markerTexts(const RecordingInfo& info) {
    std::vector<std::string> texts;
    for (const std::string type : {"", "Status"})
        for (const RecordingMarker& marker : info.markers)
            if (marker.type == type)
                texts.push_back(std::to_string(marker.sample) + " " + marker.description);
    return texts;
}

// Half a step of the signal's resolution, and the float the samples pass
// through.
double tolerance(const EdfSignal& signal, double value) {
    return 0.5 * std::fabs(edfScaleOf(signal).gain) + 1e-6 * std::fabs(value);
}

// The whole recording's main-rate channels, read in blocks of an odd length
// that straddles data records.
std::vector<float> readAll(EdfReader& reader) {
    const int64_t samples = reader.info.samples;
    std::vector<float> all(reader.blockChannels.size() * static_cast<std::size_t>(samples));
    const int64_t block = 333;
    std::vector<float> part(reader.blockChannels.size() * block);
    std::string error;
    for (int64_t first = 0; first < samples; first += block) {
        const int64_t count = std::min(block, samples - first);
        EXPECT_TRUE(readEdfBlock(reader, first, count, part.data(), error)) << error;
        for (std::size_t channel = 0; channel < reader.blockChannels.size(); ++channel)
            std::copy(part.begin() + channel * count, part.begin() + (channel + 1) * count,
                      all.begin() + channel * samples + first);
    }
    return all;
}

// Two channels of a sine and a ramp with markers, one of them lasting and
// one named in UTF-8, and the samples of every channel.
RecordingInfo exampleRecording(double rate, int64_t samples, std::vector<float>& data) {
    RecordingInfo info;
    info.samplingFrequency = rate;
    info.samples = samples;
    info.channels = {{"Fp1", "\xc2\xb5V", rate}, {"ECG", "mV", rate}};
    info.markers = {{"", "R", 0, 1}, {"", "stim \xc3\xa4", 77, 1}, {"", "long", 400, 50}};
    data.resize(2 * static_cast<std::size_t>(samples));
    for (int64_t index = 0; index < samples; ++index) {
        data[static_cast<std::size_t>(index)] = 80.0f * std::sin(0.05f * index);
        data[static_cast<std::size_t>(samples + index)] = 0.001f * index - 0.3f;
    }
    return info;
}

bool writeRecording(const std::string& path, const RecordingInfo& info, RecordingFormat format,
                    const std::vector<float>& data, std::vector<int64_t>& saturated,
                    std::string& error, std::vector<EdfPhysicalRange> ranges = {}) {
    const int64_t samples = info.samples;
    if (ranges.empty()) {
        ranges.resize(info.channels.size());
        widenEdfRanges(ranges, data.data(), samples);
    }
    EdfWriter writer;
    if (!openEdfWriter(path, info, format, ranges, writer, error)) return false;
    const int64_t block = 256;
    std::vector<float> part;
    for (int64_t first = 0; first < samples; first += block) {
        const int64_t count = std::min(block, samples - first);
        part.clear();
        for (std::size_t channel = 0; channel < info.channels.size(); ++channel)
            part.insert(part.end(), data.begin() + channel * samples + first,
                        data.begin() + channel * samples + first + count);
        if (!writeEdfBlock(writer, part.data(), count, error)) return false;
    }
    saturated = writer.saturated;
    return closeEdfWriter(writer, error);
}

// The first `samples` samples of every channel as expected, within half a
// step.
void expectSamplesNear(const EdfReader& reader, const std::vector<float>& read,
                       const std::vector<float>& expected, int64_t samples) {
    for (std::size_t block = 0; block < reader.blockChannels.size(); ++block) {
        const int channel = reader.blockChannels[block];
        const EdfSignal& signal =
            reader.header.signals[static_cast<std::size_t>(reader.channelSignals[channel])];
        for (int64_t index = 0; index < samples; ++index) {
            const float value = expected[block * samples + index];
            ASSERT_NEAR(read[block * reader.info.samples + index], value, tolerance(signal, value))
                << reader.info.channels[channel].name << " sample " << index;
        }
    }
}

const std::string kRecordings = KORU_SHARED_RECORDINGS "/edf/";

// Each format written and read back: channels, units, rate, length and
// markers as written, samples within half a step; values beyond a given range
// held and counted. 3000 samples at 512 Hz fill no whole number of records
// EDFlib can time, so the BDF's last record is padded.
TEST(EdfFiles, WrittenRecordingsReadBackInEitherFormat) {
    TemporaryFolder folder;
    for (RecordingFormat format : {RecordingFormat::kEdf, RecordingFormat::kBdf}) {
        const bool bdf = format == RecordingFormat::kBdf;
        SCOPED_TRACE(bdf ? "BDF" : "EDF");
        std::vector<float> data;
        const RecordingInfo written = exampleRecording(bdf ? 512 : 250, bdf ? 3000 : 1000, data);
        const std::string path = folder.file(bdf ? "a.bdf" : "a.edf");
        std::vector<int64_t> saturated;
        std::string error;
        ASSERT_TRUE(writeRecording(path, written, format, data, saturated, error)) << error;
        EXPECT_EQ(saturated, (std::vector<int64_t>{0, 0}));
        EdfReader reader;
        ASSERT_TRUE(openEdf(path, reader, error)) << error;
        EXPECT_EQ(reader.info.format, format);
        EXPECT_EQ(reader.header.recordDuration, 1.0);
        EXPECT_EQ(reader.info.samplingFrequency, written.samplingFrequency);
        EXPECT_EQ(reader.info.samples, bdf ? 3072 : 1000);
        ASSERT_EQ(reader.info.channels.size(), 2u);
        for (int channel = 0; channel < 2; ++channel) {
            EXPECT_EQ(reader.info.channels[channel].name, written.channels[channel].name);
            EXPECT_EQ(reader.info.channels[channel].unit, written.channels[channel].unit);
            EXPECT_EQ(edfChannelExclusion(reader, channel), EdfExclusion::kNone);
        }
        EXPECT_EQ(markerTexts(reader.info), markerTexts(written));
        EXPECT_EQ(reader.info.markers[2].duration, 50);
        expectSamplesNear(reader, readAll(reader), data, written.samples);

        // A range narrower than the ramp: the samples past it are held.
        std::vector<EdfPhysicalRange> ranges = {{-80, 80}, {-0.4, 0.5005}};
        ASSERT_TRUE(writeRecording(path, written, format, data, saturated, error, ranges)) << error;
        EXPECT_EQ(saturated, (std::vector<int64_t>{0, written.samples - 801}));
    }
}

// The copy keeps every byte but the corrected channel's samples, whatever
// order the blocks come in; corrected values are requantized and those past
// the physical range held and counted.
TEST(EdfFiles, CorrectedCopyChangesOnlyTheCorrectedSamples) {
    TemporaryFolder folder;
    for (RecordingFormat format : {RecordingFormat::kEdf, RecordingFormat::kBdf}) {
        const bool bdf = format == RecordingFormat::kBdf;
        SCOPED_TRACE(bdf ? "BDF" : "EDF");
        std::vector<float> data;
        const RecordingInfo written = exampleRecording(250, 1000, data);
        const std::string input = folder.file(bdf ? "in.bdf" : "in.edf");
        const std::string output = folder.file(bdf ? "in_OBS.bdf" : "in_OBS.edf");
        std::vector<int64_t> saturated;
        std::string error;
        ASSERT_TRUE(writeRecording(input, written, format, data, saturated, error)) << error;
        EdfReader reader;
        ASSERT_TRUE(openEdf(input, reader, error)) << error;
        std::vector<float> corrected(data.begin(), data.begin() + 1000);
        for (float& value : corrected) value = -0.5f * value;
        corrected[10] = 1e6f;
        corrected[900] = -std::numeric_limits<float>::infinity();
        EdfCorrectedCopy copy;
        ASSERT_TRUE(openEdfCorrectedCopy(reader, output, copy, error)) << error;
        ASSERT_TRUE(writeEdfCorrectedBlock(copy, {0}, 600, 400, corrected.data() + 600, error));
        ASSERT_TRUE(writeEdfCorrectedBlock(copy, {0}, 0, 600, corrected.data(), error));
        EXPECT_FALSE(writeEdfCorrectedBlock(copy, {0}, 999, 2, corrected.data(), error));
        EXPECT_NE(error.find("expected 0 to 999"), std::string::npos) << error;
        ASSERT_TRUE(closeEdfCorrectedCopy(copy, error)) << error;
        EXPECT_EQ(copy.saturated, (std::vector<int64_t>{2, 0}));

        const std::string before = readFile(input), after = readFile(output);
        ASSERT_EQ(before.size(), after.size());
        std::string masked = after;
        for (int64_t sample = 0; sample < 1000; ++sample) {
            const int64_t at = edfSampleBytePosition(reader.header, 0, sample);
            for (int byte = 0; byte < edfSampleBytes(reader.header); ++byte)
                masked[static_cast<std::size_t>(at + byte)] =
                    before[static_cast<std::size_t>(at + byte)];
        }
        EXPECT_TRUE(masked == before);
        EdfReader result;
        ASSERT_TRUE(openEdf(output, result, error)) << error;
        EXPECT_EQ(markerTexts(result.info), markerTexts(written));
        std::vector<float> expected = corrected;
        expected[10] = static_cast<float>(reader.header.signals[0].physicalMaximum);
        expected[900] = static_cast<float>(reader.header.signals[0].physicalMinimum);
        expected.insert(expected.end(), data.begin() + 1000, data.end());
        expectSamplesNear(result, readAll(result), expected, 1000);
    }
}

void setField(std::string& bytes, std::size_t offset, std::size_t width, const std::string& text) {
    bytes.replace(offset, width, (text + std::string(width, ' ')).substr(0, width));
}

// Every refusal names the file, the field and what was expected. The file is
// a valid EDF+ of two channels and an annotation signal (1024 header bytes,
// four one-second records at 250 Hz) with one fault each.
TEST(EdfFiles, RefusesBadFilesSayingWhatIsWrong) {
    TemporaryFolder folder;
    std::vector<float> data;
    const RecordingInfo recording = exampleRecording(250, 1000, data);
    const std::string path = folder.file("bad.edf");
    std::vector<int64_t> saturated;
    std::string error;
    ASSERT_TRUE(writeRecording(path, recording, RecordingFormat::kEdf, data, saturated, error));
    const std::string good = readFile(path);
    using Fault = std::function<void(std::string&)>;
    struct Case {
        Fault fault;
        std::string expected;
    };
    const Case cases[] = {
        {[](std::string& b) { b.resize(100); },
         "shorter than the 256 bytes of an EDF or BDF header"},
        {[](std::string& b) { setField(b, 0, 8, "1"); },
         "header field 'version' is '1       ', expected '0' (EDF) or 0xFF 'BIOSEMI' (BDF)"},
        {[](std::string& b) { setField(b, 252, 4, "abc"); },
         "header field 'number of signals' is 'abc', expected a whole number from 1 to 640"},
        {[](std::string& b) { setField(b, 184, 8, "1000"); },
         "header field 'number of bytes in header' is '1000', expected 1024 for 3 signals"},
        {[](std::string& b) { setField(b, 192, 44, "EDF+D"); },
         "header field 'reserved' is 'EDF+D', a discontinuous recording; expected a continuous "
         "one ('EDF+C')"},
        {[](std::string& b) { setField(b, 236, 8, "5"); },
         "header field 'number of data records' is 5, expected 4 ("},
        {[](std::string& b) { b.pop_back(); },
         "header field 'number of data records' is 4, expected 3 ("},
        {[](std::string& b) { setField(b, 244, 8, "0"); },
         "header field 'duration of a data record' is '0', expected a positive number of seconds"},
        {[](std::string& b) { setField(b, 592, 8, b.substr(568, 8)); },
         "header field 'physical maximum of signal 1' is '"},
        {[](std::string& b) { setField(b, 640, 8, "-32768"); },
         "header field 'digital maximum of signal 1' is '-32768', expected a whole number from "
         "-32768 to 32767 above the digital minimum -32768"},
        {[](std::string& b) { setField(b, 912, 8, "0"); },
         "header field 'number of samples in each data record of signal 2' is '0', expected a "
         "whole number of at least 1"},
        {[](std::string& b) { b.replace(b.find("+0.308"), 6, "+9.308"); },
         "annotation 'stim \xc3\xa4' at 9.308000 s lies outside the recording; expected an "
         "onset from 0 to 3.996000 s"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.expected);
        std::string bytes = good;
        test.fault(bytes);
        writeFile(path, bytes);
        EdfReader reader;
        EXPECT_FALSE(openEdf(path, reader, error));
        EXPECT_EQ(error.rfind(path + ": " + test.expected, 0), 0u) << error;
    }

    // Cut anywhere before its last byte, the file is refused, never read
    // past its end.
    for (std::size_t length = 0; length < good.size(); length += length < 1100 ? 1 : 97) {
        writeFile(path, good.substr(0, length));
        EdfReader reader;
        EXPECT_FALSE(openEdf(path, reader, error)) << length;
    }

    // What EDF cannot hold is refused before anything is written.
    RecordingInfo wrong = recording;
    wrong.markers.push_back({"", "late", 1000, 1});
    EXPECT_FALSE(writeRecording(path, wrong, RecordingFormat::kEdf, data, saturated, error));
    EXPECT_EQ(error, path +
                         ": marker 'late' at sample 1000 lies outside the recording; expected 0 "
                         "to 999");
    wrong = recording;
    wrong.channels[1].name = "seventeen letters";
    EXPECT_FALSE(writeRecording(path, wrong, RecordingFormat::kEdf, data, saturated, error));
    EXPECT_EQ(error, path +
                         ": channel 2 'seventeen letters': the name has 17 characters, "
                         "expected at most 16");
}

// The recordings MNE-Python's own tests use, read by both: the same
// channels, rate, length, samples of the main-rate channels, annotations and
// Status triggers.
TEST(EdfFiles, RealRecordingsReadAsMneReadsThem) {
    const std::string python = pythonWithMne();
    if (python.empty()) GTEST_SKIP() << "MNE-Python is not installed";
    for (const char* name :
         {"test.edf", "test.bdf", "test_edf_stim_channel.edf", "test_uneven_samp.edf"}) {
        SCOPED_TRACE(name);
        const std::string path = kRecordings + name;
        if (!std::ifstream(path)) GTEST_SKIP() << path << " is not there";
        TemporaryFolder folder;
        MneView mne;
        ASSERT_TRUE(readWithMne(python, folder, path, mne));
        EdfReader reader;
        std::string error;
        ASSERT_TRUE(openEdf(path, reader, error)) << error;
        EXPECT_EQ(reader.info.samplingFrequency, mne.rate);
        EXPECT_EQ(reader.info.samples, mne.samples);
        std::vector<std::string> names;
        for (const RecordingChannel& channel : reader.info.channels) names.push_back(channel.name);
        EXPECT_EQ(names, mne.names);
        EXPECT_EQ(markerTexts(reader.info), mne.markers);
        // Never corrected: the trigger channel and what MNE had to resample.
        for (std::size_t channel = 0; channel < names.size(); ++channel)
            EXPECT_EQ(edfChannelExclusion(reader, static_cast<int>(channel)),
                      names[channel] == "Status" ? EdfExclusion::kStatus
                      : reader.info.channels[channel].samplingFrequency != mne.rate
                          ? EdfExclusion::kOtherRate
                          : EdfExclusion::kNone)
                << names[channel];
        const std::vector<float> read = readAll(reader);
        for (std::size_t block = 0; block < reader.blockChannels.size(); ++block) {
            const int channel = reader.blockChannels[block];
            if (edfChannelExclusion(reader, channel) == EdfExclusion::kStatus) continue;
            const EdfSignal& signal =
                reader.header.signals[static_cast<std::size_t>(reader.channelSignals[channel])];
            for (int64_t index = 0; index < mne.samples; ++index) {
                const double expected = mne.data[channel * mne.samples + index];
                ASSERT_NEAR(read[block * mne.samples + index], expected,
                            tolerance(signal, expected))
                    << names[channel] << " sample " << index;
            }
        }
    }
}

// What this program writes, MNE-Python reads with the same channel names,
// samples and annotations, in either format.
TEST(EdfFiles, WrittenRecordingsReadByMne) {
    const std::string python = pythonWithMne();
    if (python.empty()) GTEST_SKIP() << "MNE-Python is not installed";
    TemporaryFolder folder;
    for (RecordingFormat format : {RecordingFormat::kEdf, RecordingFormat::kBdf}) {
        const bool bdf = format == RecordingFormat::kBdf;
        SCOPED_TRACE(bdf ? "BDF" : "EDF");
        std::vector<float> data;
        const RecordingInfo written = exampleRecording(500, 1500, data);
        const std::string path = folder.file(bdf ? "w.bdf" : "w.edf");
        std::vector<int64_t> saturated;
        std::string error;
        ASSERT_TRUE(writeRecording(path, written, format, data, saturated, error)) << error;
        MneView mne;
        ASSERT_TRUE(readWithMne(python, folder, path, mne));
        EXPECT_EQ(mne.names, (std::vector<std::string>{"Fp1", "ECG"}));
        EXPECT_EQ(mne.rate, 500);
        EXPECT_EQ(mne.markers, markerTexts(written));
        EdfReader reader;
        ASSERT_TRUE(openEdf(path, reader, error)) << error;
        ASSERT_EQ(mne.samples, written.samples);
        for (std::size_t at = 0; at < data.size(); ++at)
            ASSERT_NEAR(mne.data[at], data[at],
                        tolerance(reader.header.signals[at / 1500], data[at]))
                << at;
    }
}

}  // namespace
