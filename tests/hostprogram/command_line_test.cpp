// The command line and the answers: parsing into Options, the bound checks
// before a run, the prompts fed from a stream, and the exit status of a
// finished run.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hostprogram/answer_prompts.h"
#include "hostprogram/bounds_check.h"
#include "hostprogram/options.h"
#include "hostprogram/run_command.h"
#include "temporary_folder.h"

namespace {

ExitStatus parse(std::vector<const char*> words, Options& options) {
    words.insert(words.begin(), "LumatraZT");
    testing::internal::CaptureStderr();
    ExitStatus status = parseCommandLine(static_cast<int>(words.size()), words.data(), options);
    testing::internal::GetCapturedStderr();
    return status;
}

TEST(CommandLine, FillsEveryAnswerAndSetting) {
    Options options;
    ASSERT_EQ(parse({"run",
                     "-i",
                     "a.ctc",
                     "--protocol=b.prt",
                     "-c",
                     "R-peaks",
                     "--pre",
                     "0",
                     "--post=700",
                     "-a",
                     "40",
                     "-k",
                     "4",
                     "--batch",
                     "--log",
                     "l.txt",
                     "-r",
                     "r.html",
                     "--report-channels",
                     "1,3-5",
                     "--report-occurrence",
                     "7",
                     "--report-seconds",
                     "2.5",
                     "--module",
                     "m.so"},
                    options),
              kExitCompleted);
    EXPECT_EQ(options.command, Command::kRun);
    EXPECT_EQ(*options.answers.inputPath, "a.ctc");
    EXPECT_EQ(*options.answers.protocolPath, "b.prt");
    EXPECT_EQ(*options.answers.condition, "R-peaks");
    EXPECT_EQ(*options.answers.preMilliseconds, 0);
    EXPECT_EQ(*options.answers.postMilliseconds, 700);
    EXPECT_EQ(*options.answers.artifactsPerSegment, 40);
    EXPECT_EQ(*options.answers.componentsToKeep, 4);
    EXPECT_TRUE(options.batch);
    EXPECT_EQ(options.logPath, "l.txt");
    EXPECT_EQ(options.report.path, "r.html");
    EXPECT_EQ(options.report.channels, (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(options.report.occurrence, 7);
    EXPECT_DOUBLE_EQ(options.report.traceSeconds, 2.5);
    EXPECT_EQ(options.modulePath, "m.so");
}

TEST(CommandLine, CommandsAndTheirArguments) {
    Options options;
    ASSERT_EQ(parse({}, options), kExitCompleted);
    EXPECT_EQ(options.command, Command::kRun);
    EXPECT_FALSE(options.answers.inputPath);
    ASSERT_EQ(parse({"info", "a.ctc", "b.ctc"}, options), kExitCompleted);
    EXPECT_EQ(options.infoPaths, (std::vector<std::string>{"a.ctc", "b.ctc"}));
    ASSERT_EQ(parse({"demo", "--channels", "8", "--duration", "30", "--seed", "9"}, options),
              kExitCompleted);
    EXPECT_EQ(options.demo.channelCount, 8);
    EXPECT_EQ(options.demo.seed, 9u);
    ASSERT_EQ(parse({"generate", "--channels", "64", "--sampling-rate", "5000", "--duration",
                     "1200", "--ordering", "2", "--data-type", "4", "--name", "long"},
                    options),
              kExitCompleted);
    EXPECT_EQ(options.command, Command::kGenerate);
    EXPECT_EQ(options.demo.sampleOrdering, 2);
    EXPECT_EQ(options.demo.dataType, 4);
    EXPECT_EQ(options.demo.name, "long");
    ASSERT_EQ(parse({"--product", "plain", "--blas-threads", "2", "--timings"}, options),
              kExitCompleted);
    EXPECT_EQ(options.product, ProductKind::kPlain);
    EXPECT_EQ(options.blasThreads, 2);
    EXPECT_TRUE(options.timings);
    ASSERT_EQ(parse({"-i", "x.ctc", "--help"}, options), kExitCompleted);
    EXPECT_EQ(options.command, Command::kHelp);
    ASSERT_EQ(parse({"-V"}, options), kExitCompleted);
    EXPECT_EQ(options.command, Command::kVersion);
}

TEST(CommandLine, RefusesWhatItCannotUnderstand) {
    const std::vector<std::vector<const char*>> cases = {
        {"--pre", "12ms"},
        {"--pre", "99999999999"},
        {"-k"},
        {"--report-channels", "0"},
        {"--report-channels", "3-1"},
        {"--report-channels", "1,,2"},
        {"--report-seconds", "0.1"},
        {"--report-occurrence", "0"},
        {"--input="},
        {"demo", "--channels", "0"},
        {"demo", "--sampling-rate", "nan"},
        {"--seed", "1"},
        {"demo", "--ordering", "2"},
        {"generate", "--ordering", "3"},
        {"generate", "--data-type", "2"},
        {"generate", "--name", "a/b"},
        {"generate", "--product", "plain"},
        {"--product", "fast"},
        {"--blas-threads", "0"},
        {"about", "-k", "3"},
        {"walk"},
    };
    for (const auto& words : cases) {
        SCOPED_TRACE(words[0]);
        Options options;
        EXPECT_EQ(parse(words, options), kExitUsage);
    }
}

class BoundsCheck : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(folder.file("rec.ctc")) << "x";
        std::ofstream protocol(folder.file("p.prt"));
        protocol << "time-unit: samples\ncondition: Few\n";
        for (int i = 0; i < 8; ++i) protocol << i * 100 << " " << i * 100 << "\n";
        protocol << "condition: Many\n";
        for (int i = 0; i < 30; ++i) protocol << i * 100 << " " << i * 100 << "\n";
    }
    TemporaryFolder folder;
};

TEST_F(BoundsCheck, AcceptsAnswersWithinBounds) {
    DialogAnswers given;
    given.inputPath = folder.file("rec.ctc");
    given.protocolPath = folder.file("p.prt");
    given.preMilliseconds = 0;
    given.postMilliseconds = 5000;
    given.artifactsPerSegment = 30;  // the last condition has 30
    given.componentsToKeep = 30;
    EXPECT_TRUE(checkGivenAnswers(given).empty());
    given.condition = "Few";
    given.artifactsPerSegment.reset();
    given.componentsToKeep.reset();
    EXPECT_TRUE(checkGivenAnswers(given).empty());
}

TEST_F(BoundsCheck, BoundsFollowTheChosenCondition) {
    DialogAnswers given;
    given.protocolPath = folder.file("p.prt");
    given.condition = "1";
    given.artifactsPerSegment = 10;  // condition 1 has only 8 occurrences
    auto problems = checkGivenAnswers(given);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0],
              "--artifacts-per-segment 10 is outside 10..8 (the condition has 8 occurrences)");
}

TEST_F(BoundsCheck, ReportsEveryProblemAtOnce) {
    DialogAnswers given;
    given.inputPath = folder.file("none.ctc");
    given.preMilliseconds = -1;
    given.postMilliseconds = 5001;
    given.artifactsPerSegment = 12;
    given.componentsToKeep = 13;
    given.protocolPath = std::string(300, 'p');
    auto problems = checkGivenAnswers(given);
    ASSERT_EQ(problems.size(), 5u);
    EXPECT_EQ(problems[0], "--pre -1 is outside 0..5000");
    EXPECT_EQ(problems[1], "--post 5001 is outside 0..5000");
    EXPECT_EQ(problems[2], "--input " + folder.file("none.ctc") + ": No such file or directory");
    EXPECT_EQ(problems[3],
              "--protocol " + std::string(300, 'p') + ": the path is longer than 255 characters");
    EXPECT_EQ(problems[4], "--components 13 is outside 1..12 (at most the artifacts per segment)");
}

TEST_F(BoundsCheck, UnreadableProtocolIsLeftToTheRun) {
    std::ofstream(folder.file("bad.prt")) << "nonsense\n";
    DialogAnswers given;
    given.protocolPath = folder.file("bad.prt");
    given.artifactsPerSegment = 5000;
    EXPECT_TRUE(checkGivenAnswers(given).empty());
}

struct StreamPrompts {
    explicit StreamPrompts(const std::string& typed) : input(typed) {
        channel.source = AnswerSource::kStream;
        channel.input = &input;
        channel.prompts = &shown;
    }
    std::istringstream input;
    std::ostringstream shown;
    PromptChannel channel;
};

TEST(Prompts, NumbersAskAgainUntilAnAnswerFits) {
    StreamPrompts prompts("abc\n12x\n6000\n  42 \n");
    int answer = 0;
    EXPECT_EQ(askNumber(prompts.channel, "Line one:\nLine two:", 500, 0, 5000, answer),
              NumberOutcome::kAnswered);
    EXPECT_EQ(answer, 42);
    const std::string shown = prompts.shown.str();
    EXPECT_NE(shown.find("'abc' is not a whole number"), std::string::npos);
    EXPECT_NE(shown.find("'12x' is not a whole number"), std::string::npos);
    EXPECT_NE(shown.find("6000 is outside 0..5000"), std::string::npos);
    EXPECT_NE(shown.find("Line one:\nLine two:\n  [default 500, 0..5000]: "), std::string::npos);
}

TEST(Prompts, EnterTakesTheDefaultOnlyWhenItFits) {
    StreamPrompts prompts("\n\n20\n");
    int answer = 0;
    EXPECT_EQ(askNumber(prompts.channel, "A?", 3, 1, 10, answer), NumberOutcome::kDefaultTaken);
    EXPECT_EQ(answer, 3);
    // A default above the maximum cannot be taken by Enter.
    EXPECT_EQ(askNumber(prompts.channel, "A?", 100, 10, 25, answer), NumberOutcome::kAnswered);
    EXPECT_EQ(answer, 20);
    EXPECT_NE(prompts.shown.str().find("the default 100 lies outside 10..25"), std::string::npos);
}

TEST(Prompts, EndOfInputAndImpossibleBoundsTakeTheDefault) {
    StreamPrompts prompts("");
    int answer = 0;
    EXPECT_EQ(askNumber(prompts.channel, "A?", 7, 1, 10, answer), NumberOutcome::kEndOfInput);
    EXPECT_EQ(answer, 7);
    EXPECT_TRUE(prompts.channel.exhausted);
    StreamPrompts clash("5\n");
    EXPECT_EQ(askNumber(clash.channel, "A?", 100, 10, 7, answer), NumberOutcome::kDefaultTaken);
    EXPECT_EQ(answer, 100);
    EXPECT_FALSE(clash.channel.exhausted);  // nothing was read for it
    PromptChannel none;
    EXPECT_EQ(askNumber(none, "A?", 7, 1, 10, answer), NumberOutcome::kEndOfInput);
}

TEST(Prompts, FilesMustExistAndEmptyCancels) {
    TemporaryFolder folder;
    std::ofstream(folder.file("a.CTC")) << "x";
    std::ofstream(folder.file("a.txt")) << "x";
    StreamPrompts prompts(folder.file("missing.ctc") + "\n" + folder.file("a.txt") + "\n" +
                          folder.path.string() + "\n" + folder.file("a.CTC") + "\n\n");
    std::string path;
    ASSERT_TRUE(askFile(prompts.channel, "File?", ".ctc", path));
    EXPECT_EQ(path, folder.file("a.CTC"));
    const std::string shown = prompts.shown.str();
    EXPECT_NE(shown.find("No such file or directory"), std::string::npos);
    EXPECT_NE(shown.find("the name must end in .ctc"), std::string::npos);
    EXPECT_FALSE(askFile(prompts.channel, "File?", ".ctc", path));  // the empty line
    EXPECT_FALSE(askFile(prompts.channel, "File?", ".ctc", path));  // end of input
    std::string why;
    EXPECT_FALSE(acceptableFile(std::string(256, 'a') + ".ctc", ".ctc", why));
    EXPECT_EQ(why, "the path is longer than 255 characters");
}

TEST(RunOutcome, ExitStatusFromResultAndWhatTheHostSaw) {
    struct Case {
        bool completionLogged, cancelled, refused, messageBox, returnedTrue;
        ExitStatus expected;
    };
    const Case cases[] = {
        {true, false, false, false, true, kExitCompleted},
        {true, false, false, false, false, kExitFailed},  // completion line but false
        {false, false, false, false, true, kExitFailed},  // e.g. data file not readable
        {false, true, false, false, false, kExitCancelled},
        {false, true, false, false, true, kExitCancelled},  // condition declined
        {false, false, false, true, true, kExitRefused},    // too few occurrences
        {false, true, true, false, true, kExitRefused},     // refusal outranks the cancel
    };
    for (const Case& test : cases) {
        HostSession session;
        session.completionLogged = test.completionLogged;
        session.cancelled = test.cancelled;
        session.refused = test.refused;
        session.messageBoxShown = test.messageBox;
        EXPECT_EQ(classifyRun(session, test.returnedTrue), test.expected);
    }
}

TEST(RunOutcome, OutputPathReplacesTheLastFourCharacters) {
    EXPECT_EQ(outputPathFor("dir/run1.ctc"), "dir/run1_OBS.ctc");
    EXPECT_EQ(outputPathFor("run1.CTC"), "run1_OBS.ctc");
    EXPECT_EQ(outputPathFor(".ctc"), "_OBS.ctc");
}

}  // namespace
