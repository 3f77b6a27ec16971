// Runs on BrainVision, EDF and BDF copies of one generated recording: the
// corrected samples must be those of the run on the CTC original (within the
// format's resolution), the excluded channel untouched, and no temporary
// file left behind.

#include <dirent.h>
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

const std::string kSettings = " --pre 200 --post 400 -a 20 -k 2 --batch";

class RecordingRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(run("generate --directory . --name rec --channels 3 --sampling-rate 250 "
                      "--duration 40"),
                  kExitCompleted);
        for (const char* format : {"vhdr", "edf", "bdf"})
            ASSERT_EQ(run(std::string("convert rec.ctc rec.") + format), kExitCompleted);
        ASSERT_EQ(run("-i rec.ctc -p rec.prt -c R-peaks" + kSettings), kExitCompleted);
        ASSERT_TRUE(samplesOf("rec_OBS.ctc", reference));
        ASSERT_TRUE(samplesOf("rec.ctc", original));
    }

    int run(const std::string& arguments) { return runLumatraZTIn(folder, arguments); }

    bool samplesOf(const std::string& name, std::vector<float>& samples) {
        RecordingSource source;
        std::string error;
        const int64_t count = 10000;
        samples.resize(3 * count);
        return openRecordingSource(folder.file(name), "µV", source, error) &&
               source.info.samples == count &&
               readRecordingBlock(source, 0, count, samples.data(), error);
    }

    // Hidden files are the run's temporary ones; none may stay.
    bool temporaryFilesLeft() const {
        bool left = false;
        DIR* directory = opendir(folder.path.c_str());
        while (dirent* entry = readdir(directory))
            left = left || (entry->d_name[0] == '.' && std::string(entry->d_name).size() > 2);
        closedir(directory);
        return left;
    }

    TemporaryFolder folder;
    std::vector<float> reference, original;
};

// The largest quantization step of the format's channels; 0 for floats.
double largestStep(const std::string& path) {
    RecordingSource source;
    std::string error;
    if (!openRecordingSource(path, "µV", source, error) || source.edf.header.signals.empty())
        return 0;
    double step = 0;
    for (const EdfSignal& signal : source.edf.header.signals)
        step = std::max(step, (signal.physicalMaximum - signal.physicalMinimum) /
                                  (signal.digitalMaximum - signal.digitalMinimum));
    return step;
}

TEST_F(RecordingRunTest, EveryFormatGivesTheCtcRunsCorrectionAndKeepsExcludedChannels) {
    for (const std::string format : {"vhdr", "edf", "bdf"}) {
        SCOPED_TRACE(format);
        ASSERT_EQ(run("-i rec." + format + " -p rec.prt -c R-peaks --exclude 3" + kSettings),
                  kExitCompleted)
            << readFile(folder.file("err.txt"));
        std::vector<float> input, corrected;
        ASSERT_TRUE(samplesOf("rec." + format, input));
        ASSERT_TRUE(samplesOf("rec_OBS." + format, corrected));
        // An EDF or BDF copy holds the recording rounded to its steps: the
        // run on exactly those samples as CTC is what the copy must hold,
        // rounded once more.
        std::vector<float> expected = reference;
        const double step = largestStep(folder.file("rec." + format));
        if (step > 0) {
            ASSERT_EQ(run("convert rec." + format + " q.ctc"), kExitCompleted);
            ASSERT_EQ(run("-i q.ctc -p rec.prt -c R-peaks" + kSettings), kExitCompleted);
            ASSERT_TRUE(samplesOf("q_OBS.ctc", expected));
        }
        const std::size_t count = input.size() / 3;
        for (std::size_t i = 0; i < 2 * count; ++i) {
            ASSERT_NEAR(corrected[i], expected[i], step * 0.51) << i;
            if (step == 0) {
                ASSERT_EQ(corrected[i], expected[i]) << i;
            }
        }
        EXPECT_NE(corrected, input);
        for (std::size_t i = 2 * count; i < 3 * count; ++i) ASSERT_EQ(corrected[i], input[i]);
        if (format != "vhdr") {
            // The copy is the input but for the corrected samples' bytes.
            const std::string before = readFile(folder.file("rec." + format));
            const std::string after = readFile(folder.file("rec_OBS." + format));
            ASSERT_EQ(before.size(), after.size());
            EXPECT_EQ(before.substr(0, 256 * 4), after.substr(0, 256 * 4));
        }
        EXPECT_FALSE(temporaryFilesLeft());
    }
    EXPECT_EQ(
        readFile(folder.file("rec.vmrk")).substr(readFile(folder.file("rec.vmrk")).find("Mk")),
        readFile(folder.file("rec_OBS.vmrk"))
            .substr(readFile(folder.file("rec_OBS.vmrk")).find("Mk")));
}

TEST_F(RecordingRunTest, MarkersAreTheConditionsNamedAsMnePythonNamesThem) {
    std::string markers = readFile(folder.file("rec.vmrk"));
    int number = static_cast<int>(countOf(markers, "\nMk"));
    std::ifstream triggers(folder.file("rec_triggers.txt"));
    for (long sample; triggers >> sample;)
        markers += "Mk" + std::to_string(++number) + "=Response,R128," +
                   std::to_string(sample + 1) + ",1,0\n";
    markers += "Mk" + std::to_string(++number) + "=Stimulus,S  1,5,1,0\n";
    writeFile(folder.file("rec.vmrk"), markers);

    ASSERT_EQ(run("-i rec.vhdr -c Response/R128" + kSettings), kExitCompleted)
        << readFile(folder.file("err.txt"));
    std::vector<float> corrected;
    ASSERT_TRUE(samplesOf("rec_OBS.vhdr", corrected));
    EXPECT_EQ(corrected, reference);
    // The trial list's name cannot hold the '/'.
    EXPECT_TRUE(std::ifstream(folder.file("rec_Response_R128.trl")).good());
    EXPECT_FALSE(temporaryFilesLeft());

    std::remove(folder.file("rec_OBS.vhdr").c_str());
    EXPECT_EQ(run("-i rec.vhdr -c Response/R129" + kSettings), kExitRefused);
    EXPECT_FALSE(std::ifstream(folder.file("rec_OBS.vhdr")).good());
    EXPECT_FALSE(temporaryFilesLeft());
}

// A header may name a data file that the corrected copy's name would take;
// the run must refuse rather than write over its own input.
TEST_F(RecordingRunTest, CorrectedCopyThatWouldOverwriteTheInputIsRefused) {
    ASSERT_EQ(std::rename(folder.file("rec.eeg").c_str(), folder.file("rec_OBS.eeg").c_str()), 0);
    std::string header = readFile(folder.file("rec.vhdr"));
    header.replace(header.find("DataFile=rec.eeg"), 16, "DataFile=rec_OBS.eeg");
    writeFile(folder.file("rec.vhdr"), header);
    const std::string data = readFile(folder.file("rec_OBS.eeg"));

    EXPECT_EQ(run("-i rec.vhdr -p rec.prt -c R-peaks" + kSettings), kExitRefused);
    EXPECT_NE(readFile(folder.file("err.txt")).find("is a file of the input"), std::string::npos);
    EXPECT_EQ(readFile(folder.file("rec_OBS.eeg")), data);
    EXPECT_FALSE(temporaryFilesLeft());
}

}  // namespace
