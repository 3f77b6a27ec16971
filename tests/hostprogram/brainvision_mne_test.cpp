// MNE-Python decides what a BrainVision file means: the real recordings in
// the shared test data, the tests' own files of every stored format and
// what our writer writes must read the same through MNE and through ours.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "brainvision_test_files.h"
#include "hostprogram/recordings/brainvision_markers.h"
#include "hostprogram/recordings/brainvision_reader.h"
#include "hostprogram/recordings/brainvision_writer.h"

namespace {

// For each header given (pairs: header, output prefix) writes <prefix>.txt:
// "<rate> <samples>", a line "<name> <unit scale>" per channel and a line
// "<sample> <duration> <description>" per annotation, sorted; and
// <prefix>.bin: the samples as little-endian doubles, channel after channel,
// divided by the unit's scale so that they are in each channel's own unit.
const char kMneScript[] = R"(import sys, mne, numpy as np
for header, prefix in zip(sys.argv[1::2], sys.argv[2::2]):
    raw = mne.io.read_raw_brainvision(header, preload=True, verbose='error')
    rate = raw.info['sfreq']
    scales = np.array([c['range'] for c in raw.info['chs']])
    (raw.get_data() / scales[:, None]).astype('<f8').tofile(prefix + '.bin')
    lines = ['%.17g %d' % (rate, raw.n_times)]
    lines += ['%s %g' % (name, scale) for name, scale in zip(raw.ch_names, scales)]
    lines += sorted('%d %d %s' % (round(a['onset'] * rate), round(a['duration'] * rate),
                                  a['description']) for a in raw.annotations)
    open(prefix + '.txt', 'w', encoding='utf-8').write(''.join(l + '\n' for l in lines))
)";

// What MNE takes a unit to mean: its metric prefix, if any, scales the rest.
std::string unitScale(const std::string& unit) {
    const std::pair<const char*, const char*> prefixes[] = {
        {"µ", "1e-06"}, {"u", "1e-06"}, {"m", "0.001"}, {"n", "1e-09"}};
    for (const auto& [prefix, scale] : prefixes)
        if (unit.size() > std::strlen(prefix) && unit.rfind(prefix, 0) == 0) return scale;
    return "1";
}

void expectSameAsMne(const std::string& header, const std::string& prefix) {
    SCOPED_TRACE(header);
    BrainVisionReader reader;
    std::string error;
    ASSERT_TRUE(openBrainVisionReader(header, reader, error)) << error;
    const RecordingInfo& info = reader.info;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.17g", info.samplingFrequency);
    std::vector<std::string> lines = {std::string(rate) + " " + std::to_string(info.samples)};
    for (const RecordingChannel& channel : info.channels)
        lines.push_back(channel.name + " " + unitScale(channel.unit));
    const std::size_t channelLines = lines.size();
    for (const RecordingMarker& marker : info.markers)
        lines.push_back(std::to_string(marker.sample) + " " + std::to_string(marker.duration) +
                        " " + brainVisionConditionName(marker));
    std::sort(lines.begin() + channelLines, lines.end());
    std::string ours;
    for (const std::string& line : lines) ours += line + "\n";
    EXPECT_EQ(ours, readFile(prefix + ".txt"));
    const std::string bytes = readFile(prefix + ".bin");
    const std::size_t values = info.channels.size() * info.samples;
    ASSERT_EQ(bytes.size(), values * sizeof(double));
    std::vector<double> reference(values);
    std::memcpy(reference.data(), bytes.data(), bytes.size());
    std::vector<float> samples(values);
    ASSERT_TRUE(readBrainVisionBlock(reader, 0, info.samples, samples.data(), error)) << error;
    for (std::size_t index = 0; index < values; ++index)
        ASSERT_NEAR(samples[index], reference[index], 1e-6 * std::fabs(reference[index]))
            << "channel " << index / info.samples + 1 << ", sample " << index % info.samples;
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
                                        brainVisionMarkerEntries(reader.info.markers), writer,
                                        error))
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
