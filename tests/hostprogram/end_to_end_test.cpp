// The real LumatraZT program running the real plug-in module on generated
// recordings: answers from options, from piped standard input, cancels,
// refusals, usage errors, and the files a run leaves.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "hostprogram/ctc_reader.h"
#include "hostprogram/ctc_writer.h"
#include "hostprogram/demo_recording.h"
#include "hostprogram/exit_status.h"
#include "hostprogram/protocol_file.h"
#include "temporary_folder.h"
#include "xml_check.h"

namespace {

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

struct Result {
    int status = -1;
    std::string out, err;
};

const char* const kCompletionLine = "// KORUSuite> Artifact template removal completed!";
const char* const kSettings = " --pre 200 --post 400 -a 20 -k 2";

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        DemoSettings settings;
        settings.channelCount = 3;
        settings.samplingRate = 250;
        settings.durationSeconds = 40;
        settings.seed = 4;
        DemoRecording demo = generateDemoRecording(settings);
        beats = static_cast<int>(demo.rPeaks.size());
        ASSERT_TRUE(writeCtcFloatFile(folder.file("rec.ctc"), demo.samplingRate, demo.recorded));
        Protocol protocol;
        protocol.experimentName = "test";
        protocol.conditions.push_back(ProtocolCondition{"Rest", {0}, {100}});
        protocol.conditions.push_back(ProtocolCondition{"R-peaks", demo.rPeaks, demo.rPeaks});
        ASSERT_TRUE(writeProtocolFile(folder.file("rec.prt"), protocol));
        std::ofstream peaks(folder.file("peaks.txt"));
        for (int32_t peak : demo.rPeaks) peaks << peak << "\n";
    }

    // Runs the program in the test's folder; stdin is the given text, or
    // /dev/null when there is none.
    Result run(const std::string& arguments, const char* standardInput = nullptr) {
        std::string input = "/dev/null";
        if (standardInput) {
            input = folder.file("stdin.txt");
            std::ofstream(input) << standardInput;
        }
        const std::string command = "cd '" + folder.path.string() + "' && '" LUMATRAZT_PATH "' " +
                                    arguments + " < '" + input + "' > out.txt 2> err.txt";
        Result result;
        int raw = std::system(command.c_str());
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = readFile(folder.file("out.txt"));
        result.err = readFile(folder.file("err.txt"));
        return result;
    }

    bool outputCorrected() const {
        std::string input = readFile(folder.file("rec.ctc"));
        std::string output = readFile(folder.file("rec_OBS.ctc"));
        return output.size() == input.size() && output != input;
    }

    TemporaryFolder folder;
    int beats = 0;
};

TEST_F(EndToEnd, AnswersFromOptionsCorrectTheRecording) {
    Result result = run(std::string("-i rec.ctc -p rec.prt -c R-peaks --log run.log") + kSettings);
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_NE(result.out.find(kCompletionLine), std::string::npos);
    EXPECT_TRUE(outputCorrected());
    EXPECT_TRUE(exists(folder.file("rec_R-peaks.trl")));
    // The log file holds the same lines as standard output.
    EXPECT_NE(readFile(folder.file("run.log")).find(kCompletionLine), std::string::npos);
    // No status line or message box when standard error is not a terminal.
    EXPECT_EQ(result.err.find('\r'), std::string::npos);
}

TEST_F(EndToEnd, AnswersFromPipedStandardInput) {
    // input, protocol, condition (Enter: the last), pre, post, artifacts
    // per segment, components; "abc" and 9999 are asked again.
    Result result = run("", "rec.ctc\nrec.prt\n\n200\nabc\n9999\n400\n20\n2\n");
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_TRUE(outputCorrected());
    EXPECT_NE(result.err.find("'abc' is not a whole number"), std::string::npos);
    EXPECT_NE(result.err.find("9999 is outside 0..5000"), std::string::npos);
    EXPECT_NE(result.err.find("[default 2, 1..2]"), std::string::npos);  // condition question
}

// At a terminal (a pseudo-terminal made by script(1)) the questions show
// their defaults and bounds, and Ctrl-D at the condition declines it.
TEST_F(EndToEnd, AnswersAtATerminal) {
    if (std::system("command -v script > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "script(1) is needed for a pseudo-terminal";
    const std::string program = "'" LUMATRAZT_PATH "'";
    auto atTerminal = [&](const char* typed, const std::string& arguments) {
        return std::system(("cd '" + folder.path.string() + "' && printf '" + typed +
                            "' | script -qec \"" + program + " " + arguments +
                            "\" /dev/null > tty.txt 2>&1")
                               .c_str());
    };
    int raw = atTerminal("rec.ctc\\nrec.prt\\n\\n200\\n400\\n20\\n2\\n", "");
    std::string screen = readFile(folder.file("tty.txt"));
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == kExitCompleted) << screen;
    EXPECT_NE(screen.find("[default 2, 1..2]"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[default 100, 10.." + std::to_string(beats) + "]"), std::string::npos);
    EXPECT_NE(screen.find(kCompletionLine), std::string::npos);
    raw = atTerminal("\\004", "-i rec.ctc -p rec.prt");
    screen = readFile(folder.file("tty.txt"));
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == kExitCancelled) << screen;
    EXPECT_NE(screen.find("Protocol condition not selected"), std::string::npos) << screen;
}

TEST_F(EndToEnd, PlainTriggerListServesAsProtocol) {
    Result result = run(std::string("-i rec.ctc -p peaks.txt --batch") + kSettings);
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_NE(result.out.find("Condition n.1 : Triggers"), std::string::npos);
}

TEST_F(EndToEnd, CancelsAndTheirExitStatus) {
    struct Case {
        const char* arguments;
        const char* input;
        const char* expectedLog;
    };
    const Case cases[] = {
        // No terminal and nothing to read: the file question cancels.
        {"", nullptr, "Data file not selected correctly"},
        {"-i rec.ctc", "\n", "Protocol file not specified correctly"},
        {"--batch -i rec.ctc", "rec.prt\n", "Protocol file not specified correctly"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments);
        Result result = run(test.arguments, test.input);
        EXPECT_EQ(result.status, kExitCancelled) << result.out << result.err;
        EXPECT_NE(result.out.find(test.expectedLog), std::string::npos) << result.out;
    }
}

TEST_F(EndToEnd, AnswersOutOfBoundsAreRefusedBeforeTheRun) {
    struct Case {
        std::string arguments;
        std::string expectedMessage;
    };
    const Case cases[] = {
        {"-i rec.ctc -p rec.prt --pre 6000", "--pre 6000 is outside 0..5000"},
        {"-i rec.ctc -p rec.prt --post -1", "--post -1 is outside 0..5000"},
        {"-i rec.ctc -p rec.prt -a 9", "--artifacts-per-segment 9 is outside 10.."},
        {"-i rec.ctc -p rec.prt -a 1000",
         "--artifacts-per-segment 1000 is outside 10.." + std::to_string(beats)},
        {"-i rec.ctc -p rec.prt -c 3", "--condition 3: condition 3 is outside 1..2"},
        {"-i rec.ctc -p rec.prt -c Blinks", "the protocol has no condition named 'Blinks'"},
        {"-i rec.ctc -p rec.prt -a 20 -k 21", "--components 21 is outside 1..20"},
        {"-i missing.ctc -p rec.prt", "--input missing.ctc: No such file or directory"},
        {"-i rec.prt -p rec.prt", "the name must end in .ctc"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments);
        Result result = run(test.arguments);
        EXPECT_EQ(result.status, kExitRefused) << result.out << result.err;
        EXPECT_NE(result.err.find(test.expectedMessage), std::string::npos) << result.err;
        EXPECT_TRUE(result.out.empty()) << "the plug-in must not have run";
        EXPECT_FALSE(exists(folder.file("rec_OBS.ctc")));
    }
}

TEST_F(EndToEnd, PluginRefusalShowsItsMessageBoxApart) {
    // The default of 100 artifacts per segment exceeds the beats of 40 s.
    Result result = run("-i rec.ctc -p rec.prt --batch");
    EXPECT_EQ(result.status, kExitRefused) << result.out << result.err;
    EXPECT_NE(result.err.find("message from the plug-in"), std::string::npos);
    EXPECT_NE(result.err.find("Too few artifact examples"), std::string::npos);
    EXPECT_FALSE(outputCorrected());
}

TEST_F(EndToEnd, UnreadableProtocolNamesItsLineAndAppliesNone) {
    std::ofstream(folder.file("bad.prt")) << "time-unit: samples\ncondition: A\n12 x\n";
    Result result = run(std::string("-i rec.ctc -p bad.prt") + kSettings);
    EXPECT_EQ(result.status, kExitFailed) << result.out << result.err;
    EXPECT_NE(result.err.find("bad.prt:3: 'x' is not a whole number"), std::string::npos)
        << result.err;
    EXPECT_NE(result.out.find("Protocol not applied"), std::string::npos) << result.out;
}

TEST_F(EndToEnd, InputThatIsNoCtcFileFailsTheRun) {
    std::ofstream(folder.file("junk.ctc")) << "abc";
    Result result = run(std::string("-i junk.ctc -p rec.prt") + kSettings);
    // The plug-in returns true here; the missing completion line decides.
    EXPECT_EQ(result.status, kExitFailed) << result.out << result.err;
    EXPECT_NE(result.out.find("Error reading CTC file"), std::string::npos) << result.out;
}

TEST_F(EndToEnd, UsageErrors) {
    const char* const cases[] = {
        "--frobnicate",
        "--pre",
        "--pre abc",
        "-a 1.5",
        "bogus-command",
        "--channels 4",
        "info",
        "info --pre 3 rec.ctc",
        "demo -i rec.ctc",
        "extra-argument-after -i x",
    };
    for (const char* arguments : cases) {
        SCOPED_TRACE(arguments);
        Result result = run(arguments);
        EXPECT_EQ(result.status, kExitUsage) << result.err;
        EXPECT_NE(result.err.find("Try 'LumatraZT --help'"), std::string::npos);
    }
}

TEST_F(EndToEnd, HelpVersionAboutAndModuleOption) {
    Result help = run("--help");
    EXPECT_EQ(help.status, kExitCompleted);
    for (const char* part : {"Usage: LumatraZT", "--artifacts-per-segment",
                             "Exit status:", "trigger list", "--report"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    Result version = run("--version");
    EXPECT_EQ(version.status, kExitCompleted);
    EXPECT_EQ(version.out.rfind("LumatraZT ", 0), 0u);
    Result about = run("about");
    EXPECT_EQ(about.status, kExitCompleted) << about.err;
    EXPECT_NE(about.out.find("optimal basis set"), std::string::npos);
    EXPECT_NE(about.out.find("Version:     0.0"), std::string::npos);
    Result missing = run("about --module nowhere.so");
    EXPECT_EQ(missing.status, kExitFailed);
    EXPECT_NE(missing.err.find("cannot load the plug-in module nowhere.so"), std::string::npos);
}

TEST_F(EndToEnd, InfoPrintsTheHeader) {
    Result result = run("info rec.ctc");
    ASSERT_EQ(result.status, kExitCompleted) << result.err;
    EXPECT_NE(result.out.find("NrOfChannels           3"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("SamplingFrequency      250 Hz"), std::string::npos);
    EXPECT_NE(result.out.find("Header length          32 bytes"), std::string::npos);
    std::ofstream(folder.file("short.ctc")) << "abc";
    Result bad = run("info short.ctc rec.ctc");
    EXPECT_EQ(bad.status, kExitFailed);
    EXPECT_NE(bad.err.find("short.ctc: the file ends inside its CTC header"), std::string::npos);
    EXPECT_NE(bad.out.find("NrOfChannels"), std::string::npos);  // the good one still shown
}

TEST_F(EndToEnd, ReportAfterTheRunIsWellFormed) {
    Result result = run(std::string("-i rec.ctc -p rec.prt --report r.html --report-channels 1,3 "
                                    "--report-occurrence 5") +
                        kSettings);
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    const std::string html = readFile(folder.file("r.html"));
    std::string message;
    EXPECT_TRUE(isWellFormedXml(folder.file("r.html"), message)) << message;
    std::size_t figures = 0;
    for (std::size_t at = html.find("<svg "); at != std::string::npos;
         at = html.find("<svg ", at + 1))
        ++figures;
    EXPECT_EQ(figures, 4u);  // two channels, two plots each
    EXPECT_NE(html.find("Channel 3"), std::string::npos);
    EXPECT_NE(html.find("occurrence 5"), std::string::npos);
    EXPECT_NE(html.find("The run completed"), std::string::npos);
}

// The generated recording in every data type, run with the plain product and
// with OpenBLAS: both complete, and their corrected samples agree to single
// precision (BLAS may sum in another order; the plug-in works in floats).
TEST_F(EndToEnd, GeneratedRecordingsAgreeBetweenPlainAndBlasProducts) {
    for (const char* layout : {"--ordering 1 --data-type 1", "--ordering 2 --data-type 3",
                               "--ordering 2 --data-type 4", "--ordering 1 --data-type 5"}) {
        SCOPED_TRACE(layout);
        Result made = run(std::string("generate --directory gen --name g --channels 2 "
                                      "--sampling-rate 250 --duration 40 ") +
                          layout);
        ASSERT_EQ(made.status, kExitCompleted) << made.err;
        ASSERT_TRUE(exists(folder.file("gen/g_triggers.txt")));
        std::vector<std::vector<float>> corrected[2];
        const char* const products[] = {"plain", "blas"};
        for (int kind = 0; kind < 2; ++kind) {
            Result result = run(std::string("-i gen/g.ctc -p gen/g.prt --timings --product ") +
                                products[kind] + kSettings);
            ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
            EXPECT_NE(result.err.find("timings: run"), std::string::npos) << result.err;
            CtcHeader header;
            std::string error;
            ASSERT_TRUE(readCtcHeader(folder.file("gen/g_OBS.ctc"), header, error)) << error;
            ASSERT_TRUE(readCtcChannels(folder.file("gen/g_OBS.ctc"), header, {0, 1},
                                        corrected[kind], error))
                << error;
        }
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t s = 0; s < corrected[0][c].size(); ++s)
                ASSERT_NEAR(corrected[1][c][s], corrected[0][c][s],
                            1e-4f * (1.0f + std::fabs(corrected[0][c][s])))
                    << "channel " << c << ", sample " << s;
    }
}

TEST_F(EndToEnd, DemoPrintsResidualArtifactPower) {
    Result result =
        run("demo --directory demo --channels 2 --duration 60 --sampling-rate 250 -a 30");
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_NE(result.out.find("median over 2 channels:"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("worst channel"), std::string::npos);
    std::string message;
    EXPECT_TRUE(isWellFormedXml(folder.file("demo/report.html"), message)) << message;
    CtcHeader header;
    std::string error;
    ASSERT_TRUE(readCtcHeader(folder.file("demo/demo_clean.ctc"), header, error)) << error;
    EXPECT_EQ(header.nrOfChannels, 2u);
}

}  // namespace
