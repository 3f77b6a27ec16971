// generate --format: each format must hold the CTC recording's samples
// (within its resolution) and the heartbeats as markers a run can take as
// its condition.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/recordings/recording_source.h"
#include "tests/hostprogram/test_files.h"

namespace {

const std::string kGenerate =
    "generate --directory . --name rec --channels 3 --sampling-rate 250 "
    "--duration 40";

class GenerateFormatsTest : public ::testing::Test {
protected:
    int run(const std::string& arguments) { return runLumatraZTIn(folder, arguments); }

    // The recording's samples, channel after channel, and its markers.
    bool read(const std::string& name, std::vector<float>& samples, RecordingSource& source) {
        std::string error;
        const int64_t count = 10000;
        samples.resize(3 * count);
        const bool read = openRecordingSource(folder.file(name), "µV", source, error) &&
                          source.info.samples == count && source.info.channels.size() == 3 &&
                          readRecordingBlock(source, 0, count, samples.data(), error);
        EXPECT_EQ(error, "");
        return read;
    }

    TemporaryFolder folder;
};

TEST_F(GenerateFormatsTest, EveryFormatHoldsTheCtcSamplesAndTheHeartbeatsAsMarkers) {
    ASSERT_EQ(run(kGenerate), kExitCompleted);
    std::vector<float> reference;
    RecordingSource ctc;
    ASSERT_TRUE(read("rec.ctc", reference, ctc));
    std::vector<int64_t> triggers;
    std::ifstream list(folder.file("rec_triggers.txt"));
    for (int64_t sample; list >> sample;) triggers.push_back(sample);
    ASSERT_GT(triggers.size(), 30u);

    for (const std::string format : {"vhdr", "edf", "bdf"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(run(kGenerate + " --format " + format), kExitCompleted)
            << readFile(folder.file("err.txt"));
        EXPECT_EQ(readFile(folder.file("out.txt")).rfind("./rec." + format + ": 3 channels", 0),
                  0u);
        std::vector<float> samples;
        RecordingSource source;
        ASSERT_TRUE(read("rec." + format, samples, source));
        EXPECT_EQ(source.info.channels[2].name, "3");
        EXPECT_EQ(source.info.channels[2].unit, "µV");
        for (std::size_t channel = 0; channel < 3; ++channel) {
            double step = 0;  // BrainVision keeps the floats as they are
            if (!source.edf.header.signals.empty()) {
                const EdfSignal& signal = source.edf.header.signals[channel];
                step = (signal.physicalMaximum - signal.physicalMinimum) /
                       (signal.digitalMaximum - signal.digitalMinimum);
            }
            for (std::size_t index = channel * 10000; index < (channel + 1) * 10000; ++index)
                ASSERT_LE(std::fabs(samples[index] - reference[index]), step * 0.5001 + 1e-4)
                    << "channel " << channel << ", sample " << index % 10000;
        }
        std::vector<int64_t> markers;
        for (const RecordingMarker& marker : source.info.markers) {
            EXPECT_EQ(recordingConditionName(source.info.format, marker),
                      format == "vhdr" ? "Comment/R-peaks" : "R-peaks");
            markers.push_back(marker.sample);
        }
        EXPECT_EQ(markers, triggers);
    }
    // No hidden CTC file stays; the protocol is still written.
    EXPECT_EQ(countOf(readFile(folder.file("rec.prt")), "R-peaks"), 1u);
    ASSERT_EQ(std::system(("test -z \"$(ls -A '" + folder.path + "' | grep '^\\.')\"").c_str()), 0);

    // The heartbeats as conditions: a BrainVision marker, an EDF+ and a BDF+
    // annotation.
    for (const char* input :
         {"rec.vhdr -c Comment/R-peaks", "rec.edf -c R-peaks", "rec.bdf -c R-peaks"}) {
        EXPECT_EQ(run(std::string("-i ") + input + " --pre 200 --post 400 -a 20 -k 2 --batch"),
                  kExitCompleted)
            << input << readFile(folder.file("err.txt"));
    }
    for (const char* output : {"rec_OBS.vhdr", "rec_OBS.edf", "rec_OBS.bdf"})
        EXPECT_TRUE(std::ifstream(folder.file(output)).good()) << output;
}

TEST_F(GenerateFormatsTest, FormatIsAGenerateOptionAndCtcAloneHasALayout) {
    EXPECT_EQ(run(kGenerate + " --format x.edf"), kExitUsage);
    EXPECT_NE(readFile(folder.file("err.txt")).find("expects vhdr, edf, bdf or ctc, not 'x.edf'"),
              std::string::npos);
    EXPECT_EQ(run(kGenerate + " --format edf --ordering 2"), kExitUsage);
    EXPECT_EQ(run(kGenerate + " --format ctc --ordering 2 --directory ctc"), kExitCompleted);
    EXPECT_EQ(run(kGenerate + " --data-type 3 --format bdf"), kExitUsage);
    EXPECT_EQ(run("demo --format edf"), kExitUsage);
    EXPECT_NE(readFile(folder.file("err.txt")).find("belongs to the generate command"),
              std::string::npos);
    EXPECT_FALSE(std::ifstream(folder.file("rec.edf")).good());
}

}  // namespace
