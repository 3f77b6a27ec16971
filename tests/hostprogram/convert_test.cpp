// The format-neutral layer through the real LumatraZT: convert between every
// pair of formats on one small recording with markers, a converted file read
// by MNE-Python, and info --json on a real recording against MNE's counts.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>

#include "hostprogram/recordings/recording_sink.h"
#include "hostprogram/recordings/recording_source.h"
#include "test_files.h"
#include "tests/support/mne_python.h"

namespace {

int lumatra(const TemporaryFolder& folder, const std::string& arguments,
            const std::string& output = "/dev/null") {
    const std::string command = "cd '" + folder.path + "' && '" LUMATRAZT_PATH "' " + arguments +
                                " > '" + output + "' 2> err.txt";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

struct Recording {
    RecordingInfo info;
    std::vector<float> samples;  // channel after channel
};

Recording readAll(const std::string& path) {
    Recording recording;
    RecordingSource source;
    std::string error;
    EXPECT_TRUE(openRecordingSource(path, "\u00b5V", source, error)) << error;
    recording.info = source.info;
    recording.samples.resize(source.blockChannels.size() * source.info.samples);
    EXPECT_TRUE(readRecordingBlock(source, 0, source.info.samples, recording.samples.data(), error))
        << error;
    return recording;
}

// Three channels of a few hundred µV at 250 Hz, with markers of two
// conditions and free text.
Recording original() {
    Recording recording;
    RecordingInfo& info = recording.info;
    info.format = RecordingFormat::kBrainVision;
    info.samplingFrequency = 250;
    info.samples = 1000;
    info.channels = {{"Fz", "\u00b5V", 250}, {"Cz", "\u00b5V", 250}, {"ECG", "mV", 250}};
    info.markers = {{"Stimulus", "S  1", 10, 1},
                    {"Response", "R128", 300, 1},
                    {"Stimulus", "S  1", 610, 1},
                    {"Comment", "eyes closed", 900, 1}};
    for (std::size_t channel = 0; channel < 3; ++channel)
        for (int64_t sample = 0; sample < info.samples; ++sample)
            recording.samples.push_back(static_cast<float>(
                (channel + 1) * 120.0 * std::sin(0.05 * sample * (channel + 1)) + 3.0 * channel));
    return recording;
}

bool write(const Recording& recording, const std::string& path) {
    RecordingSink sink;
    std::string error;
    const bool written =
        createRecordingSink(path, recording.info, {}, sink, error) &&
        appendRecordingBlock(sink, recording.samples.data(), recording.info.samples, error) &&
        finishRecordingSink(sink, error);
    EXPECT_EQ(error, "");
    return written;
}

// Each marker as "<sample> <condition>", sorted.
std::multimap<int64_t, std::string> conditionsOf(const RecordingInfo& info) {
    std::multimap<int64_t, std::string> conditions;
    for (const RecordingMarker& marker : info.markers)
        conditions.emplace(marker.sample, recordingConditionName(info.format, marker));
    return conditions;
}

// Half a step of the finest integer format a round trip stored, of a range
// a little wider than the recording's, whose writer rounds outward.
double resolutionOf(RecordingFormat format) {
    if (format == RecordingFormat::kEdf) return 800.0 / 65535;
    if (format == RecordingFormat::kBdf) return 800.0 / 16777215;
    return 0;
}

TEST(Convert, RoundTripsThroughEveryPairOfFormats) {
    TemporaryFolder folder;
    const Recording made = original();
    ASSERT_TRUE(write(made, folder.file("made.vhdr")));
    const RecordingFormat formats[] = {RecordingFormat::kBrainVision, RecordingFormat::kEdf,
                                       RecordingFormat::kBdf, RecordingFormat::kCtc};
    const char* const extensions[] = {".vhdr", ".edf", ".bdf", ".ctc"};
    for (int first = 0; first < 4; ++first)
        for (int second = 0; second < 4; ++second) {
            const std::string middle = std::string("a") + extensions[first];
            const std::string last = std::string("b") + std::to_string(first) + extensions[second];
            SCOPED_TRACE(middle + " -> " + last);
            ASSERT_EQ(lumatra(folder, "convert made.vhdr " + middle), 0);
            ASSERT_EQ(lumatra(folder, "convert " + middle + " " + last), 0)
                << readFile(folder.file("err.txt"));
            const Recording back = readAll(folder.file(last));
            ASSERT_EQ(back.info.format, formats[second]);
            ASSERT_EQ(back.info.samples, made.info.samples);
            ASSERT_EQ(back.samples.size(), made.samples.size());
            const bool viaCtc =
                formats[first] == RecordingFormat::kCtc || formats[second] == RecordingFormat::kCtc;
            for (std::size_t channel = 0; channel < 3 && !viaCtc; ++channel) {
                EXPECT_EQ(back.info.channels[channel].name, made.info.channels[channel].name);
                EXPECT_EQ(back.info.channels[channel].unit, made.info.channels[channel].unit);
            }
            const double tolerance =
                1e-4 + resolutionOf(formats[first]) + resolutionOf(formats[second]);
            double worst = 0;
            for (std::size_t index = 0; index < made.samples.size(); ++index)
                worst =
                    std::max(worst, std::fabs(double{back.samples[index]} - made.samples[index]));
            EXPECT_LE(worst, tolerance);
            const auto expected =
                viaCtc ? std::multimap<int64_t, std::string>() : conditionsOf(made.info);
            EXPECT_EQ(conditionsOf(back.info), expected);
        }
}

// MNE's samples (volts for a unit of volts) and annotations of a converted
// EDF file and of a BrainVision file made from it.
TEST(Convert, MneReadsConvertedFilesWithOurSamples) {
    const std::string python = pythonWithMne();
    if (python.empty()) GTEST_SKIP() << "MNE-Python is not installed";
    TemporaryFolder folder;
    const Recording made = original();
    ASSERT_TRUE(write(made, folder.file("made.vhdr")));
    ASSERT_EQ(lumatra(folder, "convert made.vhdr out.bdf"), 0);
    ASSERT_EQ(lumatra(folder, "convert out.bdf out.vhdr"), 0);
    const std::string script =
        "import sys, json, mne\n"
        "out = {}\n"
        "for path in sys.argv[1:]:\n"
        "    raw = mne.io.read_raw(path, preload=True, verbose='error')\n"
        "    out[path] = {'names': raw.ch_names, 'data': raw.get_data().tolist(),\n"
        "                 'annotations': sorted(raw.annotations.description.tolist())}\n"
        "print(json.dumps(out))\n";
    std::ofstream(folder.file("read.py")) << script;
    ASSERT_EQ(std::system(
                  ("cd '" + folder.path + "' && " + python + " read.py out.bdf out.vhdr > mne.json")
                      .c_str()),
              0);
    const nlohmann::json mne = nlohmann::json::parse(readFile(folder.file("mne.json")));
    const double scales[] = {1e-6, 1e-6, 1e-3};  // to volts
    for (const char* path : {"out.bdf", "out.vhdr"}) {
        SCOPED_TRACE(path);
        const nlohmann::json& read = mne.at(path);
        EXPECT_EQ(read.at("names"), nlohmann::json({"Fz", "Cz", "ECG"}));
        // MNE names a BrainVision annotation "<type>/<description>" and keeps
        // an EDF+ annotation's text: the same conditions in both.
        EXPECT_EQ(read.at("annotations"), nlohmann::json({"Comment/eyes closed", "Response/R128",
                                                          "Stimulus/S  1", "Stimulus/S  1"}));
        for (std::size_t channel = 0; channel < 3; ++channel)
            for (int64_t sample = 0; sample < made.info.samples; sample += 37) {
                const double ours =
                    made.samples[channel * made.info.samples + sample] * scales[channel];
                EXPECT_NEAR(read.at("data")[channel][sample].get<double>(), ours,
                            (resolutionOf(RecordingFormat::kBdf) + 1e-4) * scales[channel]);
            }
    }
}

// info --json on a real recording: its conditions counted as MNE counts its
// annotations, its channels as MNE lists them.
TEST(Convert, InfoJsonOfARealRecordingAgreesWithMne) {
    const std::string python = pythonWithMne();
    const std::string header = KORU_SHARED_RECORDINGS "/brainvision/test.vhdr";
    if (python.empty() || !std::ifstream(header)) GTEST_SKIP() << "MNE or the recording is missing";
    TemporaryFolder folder;
    ASSERT_EQ(lumatra(folder, "info --json --exclude 1,HL '" + header + "'", "info.json"), 0);
    const nlohmann::json info = nlohmann::json::parse(readFile(folder.file("info.json")));
    const std::string script =
        "import sys, json, collections, mne\n"
        "raw = mne.io.read_raw_brainvision(sys.argv[1], verbose='error')\n"
        "print(json.dumps({'names': raw.ch_names, 'rate': raw.info['sfreq'],\n"
        "    'samples': int(raw.n_times),\n"
        "    'conditions': collections.Counter(raw.annotations.description.tolist())}))\n";
    std::ofstream(folder.file("read.py")) << script;
    ASSERT_EQ(std::system(
                  ("cd '" + folder.path + "' && " + python + " read.py '" + header + "' > mne.json")
                      .c_str()),
              0);
    const nlohmann::json mne = nlohmann::json::parse(readFile(folder.file("mne.json")));
    EXPECT_EQ(info.at("format"), "brainvision");
    EXPECT_EQ(info.at("sampling_frequency"), mne.at("rate"));
    EXPECT_EQ(info.at("samples"), mne.at("samples"));
    EXPECT_EQ(info.at("conditions"), mne.at("conditions"));
    ASSERT_EQ(info.at("channels").size(), mne.at("names").size());
    for (std::size_t channel = 0; channel < mne.at("names").size(); ++channel) {
        const nlohmann::json& ours = info.at("channels")[channel];
        EXPECT_EQ(ours.at("name"), mne.at("names")[channel]);
        EXPECT_EQ(ours.at("corrected"), channel != 0 && ours.at("name") != "HL");
    }
}

}  // namespace
