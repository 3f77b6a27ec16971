// MNE-Python decides what a BrainVision file means: the real recordings in
// the shared test data, the tests' own files of every stored format and
// what our writer writes must read the same through MNE and through ours.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <tuple>

#include "brainvision_test_files.h"
#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/recordings/brainvision_reader.h"
#include "hostprogram/recordings/brainvision_writer.h"

namespace {

// For each header given (pairs: header, output prefix) writes <prefix>.txt:
// "<rate> <samples> <channels>", then per channel "<name>\t<unit scale>",
// then per annotation "<sample>\t<duration>\t<description>"; and <prefix>.bin:
// the samples as little-endian doubles, channel after channel, divided by the
// unit's scale so that they are in each channel's own unit, as ours are.
const char kMneScript[] = R"(import sys, mne, numpy as np
for header, prefix in zip(sys.argv[1::2], sys.argv[2::2]):
    raw = mne.io.read_raw_brainvision(header, preload=True, verbose='error')
    rate = raw.info['sfreq']
    scales = np.array([c['range'] for c in raw.info['chs']])
    (raw.get_data() / scales[:, None]).astype('<f8').tofile(prefix + '.bin')
    with open(prefix + '.txt', 'w', encoding='utf-8') as out:
        out.write('%r %d %d\n' % (rate, raw.n_times, len(raw.ch_names)))
        for name, scale in zip(raw.ch_names, scales):
            out.write('%s\t%r\n' % (name, scale))
        for a in raw.annotations:
            out.write('%d\t%d\t%s\n' % (round(a['onset'] * rate), round(a['duration'] * rate),
                                        a['description']))
)";

double unitScale(const std::string& unit) {
    const std::pair<const char*, double> known[] = {
        {"V", 1}, {"mV", 1e-3}, {"µV", 1e-6}, {"nV", 1e-9}};
    for (const auto& [name, scale] : known)
        if (unit == name) return scale;
    return NAN;  // a unit MNE does not take as a voltage: not compared
}

void expectSameAsMne(const std::string& header, const std::string& prefix) {
    SCOPED_TRACE(header);
    BrainVisionReader reader;
    std::string error;
    ASSERT_TRUE(openBrainVisionReader(header, reader, error)) << error;
    const RecordingInfo& info = reader.info;
    std::ifstream text(prefix + ".txt");
    double rate = 0;
    int64_t samples = 0;
    std::size_t channels = 0;
    ASSERT_TRUE(text >> rate >> samples >> channels) << "MNE gave nothing";
    EXPECT_NEAR(info.samplingFrequency, rate, 1e-9 * rate);
    ASSERT_EQ(info.samples, samples);
    ASSERT_EQ(info.channels.size(), channels);
    std::string line;
    std::getline(text, line);
    for (const RecordingChannel& channel : info.channels) {
        std::getline(text, line);
        const std::size_t tab = line.find('\t');
        EXPECT_EQ(channel.name, line.substr(0, tab));
        const double scale = unitScale(channel.unit);
        if (!std::isnan(scale)) {
            EXPECT_EQ(std::stod(line.substr(tab + 1)), scale) << channel.unit;
        }
    }
    std::vector<std::tuple<int64_t, int64_t, std::string>> theirs, ours;
    while (std::getline(text, line)) {
        const std::size_t first = line.find('\t'), second = line.find('\t', first + 1);
        theirs.emplace_back(std::stoll(line.substr(0, first)),
                            std::stoll(line.substr(first + 1, second - first - 1)),
                            line.substr(second + 1));
    }
    for (const RecordingMarker& marker : info.markers)
        ours.emplace_back(marker.sample, marker.duration, brainVisionConditionName(marker));
    std::sort(theirs.begin(), theirs.end());
    std::sort(ours.begin(), ours.end());
    EXPECT_EQ(ours, theirs);
    const std::string bytes = readFile(prefix + ".bin");
    ASSERT_EQ(bytes.size(), channels * samples * sizeof(double));
    std::vector<double> reference(channels * samples);
    std::memcpy(reference.data(), bytes.data(), bytes.size());
    std::vector<float> block(channels * samples);
    ASSERT_TRUE(readBrainVisionBlock(reader, 0, samples, block.data(), error)) << error;
    for (std::size_t index = 0; index < block.size(); ++index)
        ASSERT_NEAR(block[index], reference[index], 1e-6 * std::fabs(reference[index]))
            << "channel " << index / samples + 1 << ", sample " << index % samples;
}

TEST(BrainVisionMne, OurReadingAndWritingAgreeWithMne) {
    const std::string python = pythonWithMne();
    if (python.empty()) GTEST_SKIP() << "MNE-Python is not installed";
    TemporaryFolder folder;
    std::vector<std::string> headers;
    const std::string shared = std::string(KORU_SHARED_RECORDINGS) + "/brainvision/";
    for (const char* name : {"test.vhdr", "test_old_layout_latin1_software_filter.vhdr"})
        if (std::ifstream(shared + name).good()) headers.push_back(shared + name);
    // MNE-Python 1.3 (Debian 12) does not read UINT_16; the round trip test covers it.
    for (const char* format : {"INT_16", "INT_32", "IEEE_FLOAT_32"})
        for (bool vectorized : {false, true}) {
            const std::string base = std::string(format) + (vectorized ? "_v" : "_m");
            headers.push_back(
                writeRawBrainVision(folder, base, roundTripRecording(format, vectorized)));
        }
    // Our writer's copy of the last of them, with markers of every kind.
    BrainVisionReader reader;
    std::string error;
    ASSERT_TRUE(openBrainVisionReader(headers.back(), reader, error)) << error;
    reader.info.channels.push_back({"Pulse", "V", reader.info.samplingFrequency});
    std::vector<float> samples(reader.info.channels.size() * reader.info.samples, 1.25f);
    ASSERT_TRUE(readBrainVisionBlock(reader, 0, reader.info.samples, samples.data(), error));
    BrainVisionWriter writer;
    ASSERT_TRUE(createBrainVisionWriter(folder.file("copy_OBS.vhdr"), reader.info,
                                        reader.markerEntries, writer, error))
        << error;
    ASSERT_TRUE(appendBrainVisionBlock(writer, samples.data(), reader.info.samples, error));
    ASSERT_TRUE(finishBrainVisionWriter(writer, error)) << error;
    headers.push_back(folder.file("copy_OBS.vhdr"));

    writeFile(folder.file("read.py"), kMneScript);
    std::string command = python + " " + folder.file("read.py");
    for (std::size_t index = 0; index < headers.size(); ++index)
        command += " '" + headers[index] + "' " + folder.file("mne" + std::to_string(index));
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (std::size_t index = 0; index < headers.size(); ++index)
        expectSameAsMne(headers[index], folder.file("mne" + std::to_string(index)));
}

}  // namespace
