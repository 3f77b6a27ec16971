// The heartbeats found in a recording's ECG channel as the triggers of a run:
// detect-r's trigger list, runs with --ecg-channel on CTC files of both
// orderings and on BrainVision (the ECG channel left bit for bit as it was),
// and the exit statuses when the channel gives no beats to run on.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/detection/beat_matching.h"
#include "hostprogram/detection/scanner_ecg.h"
#include "hostprogram/recordings/ctc_writer.h"
#include "hostprogram/recordings/recording_source.h"
#include "tests/hostprogram/test_files.h"

namespace {

class EcgRunTest : public ::testing::Test {
protected:
    int run(const std::string& arguments) { return runLumatraZTIn(folder, arguments); }

    std::vector<int64_t> samplesListed(const std::string& name) {
        std::istringstream text(readFile(folder.file(name)));
        std::vector<int64_t> samples;
        for (std::string line; std::getline(text, line);)
            if (!line.empty() && line[0] != '#') samples.push_back(std::stoll(line));
        return samples;
    }

    // Every channel, one after another.
    std::vector<std::vector<float>> channelsOf(const std::string& name) {
        RecordingSource source;
        std::string error;
        std::vector<float> block;
        if (!openRecordingSource(folder.file(name), "µV", source, error)) return {};
        const int64_t count = source.info.samples;
        block.resize(source.blockChannels.size() * static_cast<std::size_t>(count));
        if (!readRecordingBlock(source, 0, count, block.data(), error)) return {};
        std::vector<std::vector<float>> channels;
        for (std::size_t c = 0; c < source.blockChannels.size(); ++c)
            channels.emplace_back(block.begin() + static_cast<std::ptrdiff_t>(c * count),
                                  block.begin() + static_cast<std::ptrdiff_t>((c + 1) * count));
        return channels;
    }

    std::string err() { return readFile(folder.file("err.txt")); }

    TemporaryFolder folder;
};

TEST_F(EcgRunTest, DetectedBeatsDriveTheRunAndTheEcgChannelIsKept) {
    const std::string settings = " --pre 200 --post 400 -a 20 -k 2 --batch";
    for (const std::string layout : {"--ordering 1", "--ordering 2 --data-type 3"}) {
        SCOPED_TRACE(layout);
        ASSERT_EQ(run("generate --ecg --directory . --name rec --channels 3 --sampling-rate 250 "
                      "--duration 40 " +
                      layout),
                  kExitCompleted);
        ASSERT_EQ(run("detect-r rec.ctc --ecg-channel 4 -o beats.txt"), kExitCompleted) << err();
        const BeatMatch match =
            matchBeats(samplesListed("rec_triggers.txt"), samplesListed("beats.txt"), 250.0, 0.05);
        EXPECT_EQ(match.falseNegatives + match.falsePositives, 0);
        EXPECT_EQ(match.errorPercentile(0.5), 0.0);
        EXPECT_NE(readFile(folder.file("out.txt")).find("0 implausible intervals"),
                  std::string::npos);

        ASSERT_EQ(run("-i rec.ctc --ecg-channel 4" + settings), kExitCompleted) << err();
        const auto input = channelsOf("rec.ctc"), output = channelsOf("rec_OBS.ctc");
        ASSERT_EQ(output.size(), 4u);
        EXPECT_EQ(output[3], input[3]);
        for (int c = 0; c < 3; ++c) EXPECT_NE(output[c], input[c]);
        EXPECT_EQ(samplesListed("rec_R-peaks (ECG).trl").size(), samplesListed("beats.txt").size());
    }
    ASSERT_EQ(run("convert rec.ctc rec.vhdr"), kExitCompleted);
    ASSERT_EQ(run("-i rec.vhdr --ecg-channel 4 -r run.html" + settings), kExitCompleted) << err();
    const auto input = channelsOf("rec.vhdr"), output = channelsOf("rec_OBS.vhdr");
    ASSERT_EQ(output.size(), 4u);
    EXPECT_EQ(output[3], input[3]);
    EXPECT_NE(output[0], input[0]);
    EXPECT_TRUE(isWellFormedXml(folder.file("run.html")));
    EXPECT_NE(readFile(folder.file("run.html")).find("Heart rate"), std::string::npos);
}

TEST_F(EcgRunTest, ChannelWithoutEnoughBeatsEndsWithTheReason) {
    ScannerEcgParameters shortEcg;
    shortEcg.samplingFrequency = 500.0;
    shortEcg.durationSeconds = 6.0;  // about seven beats
    std::vector<float> flat(3000, 12.5f);
    ASSERT_TRUE(writeCtcFloatFile(folder.file("rec.ctc"), 500.0f,
                                  {flat, generateScannerEcg(shortEcg).samples}));
    EXPECT_EQ(run("detect-r rec.ctc --ecg-channel 1"), kExitFailed);
    EXPECT_NE(err().find("the ECG channel 1: the channel is flat"), std::string::npos) << err();
    EXPECT_EQ(run("detect-r rec.ctc --ecg-channel 2"), kExitFailed);
    EXPECT_NE(err().find("fewer than the 10 one segment needs"), std::string::npos) << err();
    EXPECT_EQ(run("detect-r rec.ctc --ecg-channel 3"), kExitFailed);
    EXPECT_NE(err().find("'3': the recording has 2"), std::string::npos) << err();
    EXPECT_EQ(run("-i rec.ctc --ecg-channel 1 --batch"), kExitRefused);
    EXPECT_FALSE(std::filesystem::exists(folder.file("rec_OBS.ctc")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("rec_rpeaks.txt")));
}

}  // namespace
