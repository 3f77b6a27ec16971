// The real LumatraZT program running the real plug-in module on generated
// recordings: answers from options, from piped standard input and from a
// terminal, cancels, refusals, usage errors, exit statuses, and the files a run leaves.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>

#include "hostprogram/cli/exit_status.h"
#include "hostprogram/commands/run_command.h"
#include "hostprogram/recordings/ctc_reader.h"
#include "test_files.h"

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

const char* const kCompletionLine = "// KORUSuite> Artifact template removal completed!";
const std::string kSettings = " --pre 200 --post 400 -a 20 -k 2";

class EndToEnd : public ::testing::Test {
protected:
    // A generated recording of 3 channels and its heartbeats, with a first
    // condition of a single occurrence in front of them.
    void SetUp() override {
        Result made =
            run("generate --directory . --name rec --channels 3 --sampling-rate 250 "
                "--duration 40");
        ASSERT_EQ(made.status, kExitCompleted) << made.err;
        beats = std::to_string(countOf(readFile(folder.file("rec_triggers.txt")), "\n"));
        std::string protocol = readFile(folder.file("rec.prt"));
        protocol.insert(protocol.find("condition:"), "condition: Rest\n0 100\n");
        std::ofstream(folder.file("rec.prt")) << protocol;
    }

    // Runs the program in the test's folder; stdin is the given text, or
    // /dev/null when there is none.
    Result run(const std::string& arguments, const char* standardInput = nullptr) {
        std::string input = "/dev/null";
        if (standardInput) {
            input = folder.file("stdin.txt");
            std::ofstream(input) << standardInput;
        }
        const std::string command = "cd '" + folder.path + "' && '" LUMATRAZT_PATH "' " +
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
    std::string beats;
};

TEST_F(EndToEnd, AnswersFromOptionsCorrectTheRecordingAndReportIt) {
    Result result = run(("-i rec.ctc -p rec.prt -c R-peaks --log run.log --report "
                         "r.html --report-channels 1,3 --report-occurrence 5") +
                        kSettings);
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_NE(result.out.find(kCompletionLine), std::string::npos);
    EXPECT_TRUE(outputCorrected());
    EXPECT_TRUE(std::ifstream(folder.file("rec_R-peaks.trl")).good());
    // The log file holds the same lines as standard output.
    EXPECT_NE(readFile(folder.file("run.log")).find(kCompletionLine), std::string::npos);
    // No status line or message box when standard error is not a terminal.
    EXPECT_EQ(result.err.find('\r'), std::string::npos);
    const std::string html = readFile(folder.file("r.html"));
    EXPECT_TRUE(isWellFormedXml(folder.file("r.html")));
    EXPECT_EQ(countOf(html, "<svg "), 4u);  // two channels, two plots each
    EXPECT_NE(html.find("Channel 3"), std::string::npos);
    EXPECT_NE(html.find("occurrence 5"), std::string::npos);
}

TEST_F(EndToEnd, AnswersFromPipedStandardInputWithATriggerList) {
    // input (a missing file first), trigger list, condition (Enter: the
    // only one), pre, post ("12x" and 9999 are asked again), artifacts per
    // segment (Enter cannot take a default above the beats), components.
    Result result =
        run("", "missing.ctc\nrec.ctc\nrec_triggers.txt\n\n200\n12x\n9999\n400\n\n20\n2\n");
    ASSERT_EQ(result.status, kExitCompleted) << result.out << result.err;
    EXPECT_TRUE(outputCorrected());
    EXPECT_NE(result.out.find("Condition n.1 : Triggers"), std::string::npos);
    const std::string shown[] = {"missing.ctc: No such file or directory", "[default 1, 1..1]",
                                 "'12x' is not a whole number", "9999 is outside 0..5000",
                                 "the default 100 lies outside 10.." + beats};
    for (const std::string& part : shown)
        EXPECT_NE(result.err.find(part), std::string::npos) << part;
}

// At a terminal (a pseudo-terminal made by script(1)) the questions show
// their defaults and bounds, and Ctrl-D at the condition declines it.
TEST_F(EndToEnd, AnswersAtATerminal) {
    if (std::system("command -v script > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "script(1) is needed for a pseudo-terminal";
    const std::string program = "'" LUMATRAZT_PATH "'";
    auto atTerminal = [&](const char* typed, const std::string& arguments, int expected) {
        int raw =
            std::system(("cd '" + folder.path + "' && printf '" + typed + "' | script -qec \"" +
                         program + " " + arguments + "\" /dev/null > tty.txt 2>&1")
                            .c_str());
        std::string screen = readFile(folder.file("tty.txt"));
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == expected) << screen;
        return screen;
    };
    std::string screen =
        atTerminal("rec.ctc\\nrec.prt\\n\\n200\\n400\\n20\\n2\\n", "", kExitCompleted);
    EXPECT_NE(screen.find("[default 2, 1..2]"), std::string::npos) << screen;
    EXPECT_NE(screen.find("[default 100, 10.." + beats + "]"), std::string::npos);
    EXPECT_NE(screen.find(kCompletionLine), std::string::npos);
    screen = atTerminal("\\004", "-i rec.ctc -p rec.prt", kExitCancelled);
    EXPECT_NE(screen.find("Protocol condition not selected"), std::string::npos) << screen;
}

// Every way a command ends without correcting the recording, and the
// commands that only print. An empty expected output means that nothing may
// reach standard output: the plug-in did not run.
TEST_F(EndToEnd, ExitStatusAndMessageOfEveryOutcome) {
    struct Case {
        std::string arguments;
        ExitStatus status;
        std::string out, err;
        const char* input = nullptr;
    };
    const std::string usage = "Try 'LumatraZT --help'";
    const std::string given = "-i rec.ctc -p rec.prt ";
    const Case cases[] = {
        // Without a terminal an unanswered or empty file question cancels.
        {"", kExitCancelled, "Data file not selected correctly", ""},
        {"-i rec.ctc", kExitCancelled, "Protocol file not specified correctly", "", "\n"},
        {"--batch -i rec.ctc", kExitCancelled, "Protocol file not specified", "", "rec.prt\n"},
        // Answers given as options are checked, all at once, before the run.
        {given + "--pre 6000 --post -1", kExitRefused, "",
         "--pre 6000 is outside 0..5000\nLumatraZT: refused: --post -1 is outside 0..5000"},
        {given + "-a 1000", kExitRefused, "", "1000 is outside 10.." + beats},
        {given + "-c Rest -a 10", kExitRefused, "", "10 is outside 10..1 (the condition"},
        {given + "-c 3", kExitRefused, "", "--condition 3: condition 3 is outside 1..2"},
        {given + "-c Blinks", kExitRefused, "", "no condition named 'Blinks'"},
        {given + "-a 20 -k 21", kExitRefused, "", "--components 21 is outside 1..20"},
        {"-i missing.ctc -p rec.prt", kExitRefused, "", "missing.ctc: No such file"},
        {"-i rec.prt -p rec.prt", kExitRefused, "", "the name must end in .ctc"},
        {"-i rec.ctc -p " + std::string(300, 'p'), kExitRefused, "", "longer than 255 characters"},
        // Numbers nobody answers take their defaults; 100 artifacts per
        // segment are more than 40 s of beats give.
        {given, kExitRefused, "Condition n.2 : R-peaks", "== message from the plug-in ==="},
        {"-i rec.ctc -p bad.prt" + kSettings, kExitFailed, "Protocol not applied",
         "bad.prt:3: 'x' is not a whole number"},
        // The plug-in returns true here; the missing completion line decides.
        {"-i junk.ctc -p rec.prt" + kSettings, kExitFailed, "Error reading CTC file", ""},
        {"about --module nowhere.so", kExitFailed, "", "cannot load the plug-in module nowhere.so"},
        {"info junk.ctc rec.ctc", kExitFailed, "SamplingFrequency      250 Hz",
         "junk.ctc: the file ends inside its CTC header"},
        {"--help", kExitCompleted, "Exit status:", ""},
        {"--version", kExitCompleted, "LumatraZT 0.", ""},
        {"about", kExitCompleted, "optimal basis set", ""},
        // Usage errors in argv's order, each with its message and the hint.
        {"--frob=1 --pre x", kExitUsage, "", "unknown option '--frob'\n" + usage},
        {"-a 1.5", kExitUsage, "", "--artifacts-per-segment expects a whole number, not '1.5'"},
        {"--report-channels 3-1", kExitUsage, "", "such as 1,2,5-8, not '3-1'\n" + usage},
        {"bogus-command", kExitUsage, "", "unknown command 'bogus-command'\n" + usage},
        {"--channels 4 -k", kExitUsage, "", "--channels belongs to the demo and generate"},
        {"demo --sampling-rate nan", kExitUsage, "", "between 100 and 5000 Hz, not 'nan'"},
        {"generate --name a/b", kExitUsage, "", "--name expects a file name without folder"},
        {"-p rec.prt -k", kExitUsage, "", "option --components needs a value\n" + usage},
        {"--pre=", kExitUsage, "", "--pre expects a whole number of milliseconds, not ''"},
        {"-i rec.ctc demo", kExitUsage, "", "unexpected argument 'demo'\n" + usage},
        {"--batch=1", kExitUsage, "", "unknown option '--batch'\n" + usage},
        {"-irec.ctc", kExitUsage, "", "unknown option '-irec.ctc'\n" + usage},
        {"about --timings", kExitUsage, "", "the options of a run do not apply to this command"},
        {"convert rec.ctc", kExitUsage, "", "convert needs an input and an output file\n" + usage},
        {"convert rec.ctc out.txt", kExitUsage, "", "out.txt: not a recording format"},
        {"convert rec.ctc ./rec.ctc", kExitUsage, "", "the output must be another file\n" + usage},
        {"demo --json", kExitUsage, "", "option --json belongs to the info command"},
        {"--unit mV", kExitUsage, "", "option --unit belongs to the info and convert commands"},
        {"info --exclude 4 rec.ctc", kExitFailed, "NrOfChannels", "'4': the recording has 3"},
        {"detect-r", kExitUsage, "", "detect-r needs one recording file\n" + usage},
        {"detect-r rec.ctc -o x.txt", kExitUsage, "", "detect-r needs the ECG channel"},
        {"-o x.txt", kExitUsage, "", "option --output belongs to the detect-r command"},
        {"detect-r rec.ctc --ecg-channel 1 -a 5", kExitUsage, "", "a run do not apply"},
        {"--ecg-channel 1 -p rec.prt", kExitUsage, "", "need the recording given with -i"},
        {"convert missing.vhdr out.edf", kExitFailed, "", "missing.vhdr"},
    };
    std::ofstream(folder.file("bad.prt")) << "time-unit: samples\ncondition: A\n12 x\n";
    std::ofstream(folder.file("junk.ctc")) << "abc";
    for (const Case& test : cases) {
        SCOPED_TRACE(test.arguments);
        Result result = run(test.arguments, test.input);
        EXPECT_EQ(result.status, test.status) << result.out << result.err;
        EXPECT_EQ(result.out.empty(), test.out.empty()) << result.out;
        EXPECT_NE(result.out.find(test.out), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(test.err), std::string::npos) << result.err;
        EXPECT_FALSE(outputCorrected());
    }
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
    // The known artifact is found and mostly removed.
    const std::size_t median = result.out.find("median over 2 channels:");
    ASSERT_NE(median, std::string::npos) << result.out;
    EXPECT_LT(std::stod(result.out.substr(median + 23)), -6.0) << result.out;
    EXPECT_NE(result.out.find("worst channel"), std::string::npos);
    // Its triggers are found in its ECG channel.
    EXPECT_NE(result.out.find("sensitivity 100.00 %, positive predictivity 100.00 %"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(isWellFormedXml(folder.file("demo/report.html")));
}

// Combinations of what execute returned and what the host saw that the runs
// above do not produce.
TEST(RunOutcome, ExitStatusFromResultAndWhatTheHostSaw) {
    HostSession session;
    session.completionLogged = true;  // the completion line, but execute returned false
    EXPECT_EQ(classifyRun(session, false), kExitFailed);
    session = HostSession();
    session.cancelled = session.refused = true;  // the refusal outranks the cancel
    EXPECT_EQ(classifyRun(session, true), kExitRefused);
}

// The run waits at a question on a pipe that never answers; the signal comes
// there. Waiting for the input file, the earlier result must stay; after the
// output copy is made, the copy must go, and so must a BrainVision run's
// temporary files.
TEST_F(EndToEnd, InterruptedRunRemovesItsUnfinishedOutputOnly) {
    ASSERT_EQ(run("convert rec.ctc rec.vhdr").status, kExitCompleted);
    const struct {
        int signal;
        std::string input;
        bool earlierResultKept;
    } cases[] = {{SIGINT, "", true}, {SIGTERM, "rec.ctc", false}, {SIGHUP, "rec.vhdr", true}};
    for (const auto& test : cases) {
        std::ofstream(folder.file("rec_OBS.ctc")) << "an earlier result";
        int answers[2];
        ASSERT_EQ(pipe(answers), 0);
        const pid_t child = fork();
        if (child == 0) {
            dup2(answers[0], STDIN_FILENO);
            close(answers[1]);
            if (chdir(folder.path.c_str()) != 0) _exit(127);
            freopen("/dev/null", "w", stdout);
            if (test.input.empty()) execl(LUMATRAZT_PATH, "LumatraZT", nullptr);
            execl(LUMATRAZT_PATH, "LumatraZT", "-i", test.input.c_str(), "-p", "rec.prt", "-c",
                  "R-peaks", nullptr);
            _exit(127);
        }
        close(answers[0]);
        // The signal waits for the plug-in's output copy, when the run makes
        // one, and then for the question after it.
        const std::string copy = test.input == "rec.ctc"
                                     ? "rec_OBS.ctc"
                                     : ".rec.LumatraZT-" + std::to_string(child) + "_OBS.ctc";
        const auto copied = [&] {
            return copy == "rec_OBS.ctc" ? readFile(folder.file(copy)) != "an earlier result"
                                         : std::ifstream(folder.file(copy)).good();
        };
        for (int waited = 0; !test.input.empty() && waited < 500 && !copied(); ++waited)
            usleep(20000);
        usleep(300000);
        // The condition is chosen by now: a trial list the run had begun goes too.
        const std::string trialList =
            test.input == "rec.ctc" ? "rec_R-peaks.trl"
            : test.input.empty()    ? "unused.trl"
                                    : ".rec.LumatraZT-" + std::to_string(child) + "_R-peaks.trl";
        std::ofstream(folder.file(trialList)) << "1 0.0\n";
        kill(child, test.signal);
        int status = 0;
        waitpid(child, &status, 0);
        close(answers[1]);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << test.signal;
        EXPECT_EQ(WEXITSTATUS(status), 128 + test.signal);
        EXPECT_EQ(std::ifstream(folder.file("rec_OBS.ctc")).good(), test.earlierResultKept)
            << "signal " << test.signal;
        EXPECT_EQ(std::filesystem::exists(folder.file(trialList)), test.input.empty());
        for (const auto& entry : std::filesystem::directory_iterator(folder.path)) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(name.find("LumatraZT-"), std::string::npos) << name;
            EXPECT_EQ(name.rfind("rec_OBS.", 0) == 0 && name != "rec_OBS.ctc", false) << name;
        }
    }
}

// Writing a recording is guarded like a run: whatever file it has begun,
// the temporary one included, goes with the interruption.
TEST_F(EndToEnd, InterruptedGenerateLeavesNoFile) {
    for (const char* format : {"ctc", "vhdr"}) {
        const std::string folderOfRecording = folder.file(format);
        const pid_t child = fork();
        if (child == 0) {
            freopen("/dev/null", "w", stdout);
            execl(LUMATRAZT_PATH, "LumatraZT", "generate", "--directory", folderOfRecording.c_str(),
                  "--channels", "64", "--sampling-rate", "5000", "--duration", "1200", "--format",
                  format, nullptr);
            _exit(127);
        }
        const auto filesIn = [&] {
            std::error_code ignored;
            std::filesystem::directory_iterator entries(folderOfRecording, ignored);
            return std::distance(begin(entries), end(entries));
        };
        for (int waited = 0; waited < 500 && filesIn() == 0; ++waited) usleep(20000);
        usleep(100000);
        kill(child, SIGINT);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << format;
        EXPECT_EQ(WEXITSTATUS(status), 130) << format;
        EXPECT_EQ(filesIn(), 0) << format;
    }
}

}  // namespace
