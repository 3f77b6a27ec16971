#include "hostprogram/cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "ctc/ctc_format.h"
#include "hostprogram/cli/number_parsing.h"
#include "hostprogram/recordings/recording_source.h"

// CLI11 finds the commands, the options and their values (also written
// --name=value); what a value must look like and which command an option
// belongs to stay ours, checked in argv's order as each option is met, with
// the messages the README documents. Values are read by our strict readers:
// CLI11's own integer conversion takes "010" as octal and "true" as 1.

namespace {

// A usage error with its message, thrown from inside CLI11's parse.
struct UsageError {
    std::string message;
};

// Stops the parse at --help or --version: what follows them is not looked at.
struct PrintOnly {
    Command command;
};

// The commands an option belongs to. A run option refused by info, about and
// generate is only refused after the whole line was read.
enum class Scope {
    kEveryCommand,
    kRun,
    kDemoAndGenerate,
    kGenerate,
    kInfo,
    kInfoAndConvert,
    kInfoAndRun,
    kRunAndDetect,  // a run's options that detect-r takes too
    kDetect
};

struct Parser {
    Parser(Options& filled, const CLI::App& parsing) : options(filled), app(&parsing) {}
    Options& options;
    const CLI::App* app;
    std::size_t argumentCount = 0;  // after the program's name
    bool sawRunOption = false;
    std::map<std::string, std::string> longNameOfShort = {{"-h", "--help"}, {"-V", "--version"}};
    std::set<std::string> takesValue;  // long names
};

// What CLI11 does not place, in argv's order: options it does not know, and
// arguments that are no option's value (the info command's files). The
// message for the first of them that is wrong, or an empty text.
std::string extrasMessage(const Parser& parser) {
    for (const std::string& extra : parser.app->remaining(true)) {
        if (extra.size() > 1 && extra[0] == '-') {
            const bool isLong = extra.compare(0, 2, "--") == 0;
            return "unknown option '" + (isLong ? extra.substr(0, extra.find('=')) : extra) + "'";
        }
        const Command command = parser.options.command;
        if (command != Command::kInfo && command != Command::kConvert &&
            command != Command::kDetectR)
            return "unexpected argument '" + extra + "'";
    }
    return std::string();
}

[[noreturn]] void fail(const Parser& parser, const std::string& message) {
    const std::string earlier = extrasMessage(parser);
    throw UsageError{earlier.empty() ? message : earlier};
}

bool readNumber(const std::string& text, int& value) {
    return parseWholeNumber(text, value);
}

bool readNumber(const std::string& text, double& value) {
    return parseRealNumber(text, value);
}

void checkScope(const Parser& parser, const std::string& name, Scope scope) {
    const Command command = parser.options.command;
    const bool generating = command == Command::kGenerate;
    if (scope == Scope::kDemoAndGenerate && command != Command::kDemo && !generating)
        fail(parser, "option " + name + " belongs to the demo and generate commands");
    if (scope == Scope::kGenerate && !generating)
        fail(parser, "option " + name + " belongs to the generate command");
    if (scope == Scope::kInfo && command != Command::kInfo)
        fail(parser, "option " + name + " belongs to the info command");
    if (scope == Scope::kInfoAndConvert && command != Command::kInfo &&
        command != Command::kConvert)
        fail(parser, "option " + name + " belongs to the info and convert commands");
    if (scope == Scope::kInfoAndRun && command != Command::kInfo && command != Command::kRun)
        fail(parser, "option " + name + " belongs to the info command and to a run");
    if (scope == Scope::kDetect && command != Command::kDetectR)
        fail(parser, "option " + name + " belongs to the detect-r command");
}

// Whether an option of scope is a run's option that the command does not take.
bool isRunOptionOutside(Scope scope, Command command) {
    return scope == Scope::kRun || (scope == Scope::kRunAndDetect && command != Command::kDetectR);
}

// An option with a value. names: "--input" or "-i,--input"; read stores the
// value and says whether it is one the option takes.
void addValueOption(CLI::App& app, Parser& parser, const std::string& names, Scope scope,
                    const char* expected, std::function<bool(const std::string&)> read) {
    const std::string::size_type comma = names.find(',');
    const std::string name = comma == std::string::npos ? names : names.substr(comma + 1);
    if (comma != std::string::npos) parser.longNameOfShort[names.substr(0, comma)] = name;
    parser.takesValue.insert(name);
    auto apply = [&parser, name, scope, expected, read](const std::string& value) {
        checkScope(parser, name, scope);
        if (!read(value))
            fail(parser, "option " + name + " expects " + expected + ", not '" + value + "'");
        if (isRunOptionOutside(scope, parser.options.command)) parser.sawRunOption = true;
    };
    app.add_option_function<std::string>(name, apply)->trigger_on_parse();
}

// Field: a std::string, or an optional one for the plug-in's questions.
template <typename Field>
void addTextOption(CLI::App& app, Parser& parser, const std::string& names, Scope scope,
                   const char* expected, Field& field) {
    addValueOption(app, parser, names, scope, expected, [&field](const std::string& value) {
        field = value;
        return !value.empty();
    });
}

// A number within [low, high].
template <typename Number, typename Field>
void addNumberOption(CLI::App& app, Parser& parser, const std::string& names, Scope scope,
                     const char* expected, Field& field, Number low, Number high) {
    addValueOption(app, parser, names, scope, expected,
                   [&field, low, high](const std::string& value) {
                       Number number = 0;
                       if (!readNumber(value, number) || number < low || number > high)
                           return false;
                       field = number;
                       return true;
                   });
}

// The plug-in's questions take any whole number here: their bounds are known
// only when it asks (cli/answer_dialogs).
template <typename Field>
void addAnswerNumber(CLI::App& app, Parser& parser, const std::string& names, const char* expected,
                     Field& field) {
    addNumberOption(app, parser, names, Scope::kRun, expected, field, INT_MIN, INT_MAX);
}

// One of a few whole numbers.
void addChoiceOption(CLI::App& app, Parser& parser, const std::string& name, Scope scope,
                     const char* expected, int& field, std::vector<uint32_t> choices) {
    addValueOption(app, parser, name, scope, expected, [&field, choices](const std::string& value) {
        int number = 0;
        if (!parseWholeNumber(value, number) || number < 0) return false;
        field = number;
        return std::find(choices.begin(), choices.end(), static_cast<uint32_t>(number)) !=
               choices.end();
    });
}

void addOptions(CLI::App& app, Parser& parser) {
    Options& o = parser.options;
    const Scope run = Scope::kRun, recording = Scope::kDemoAndGenerate;
    const char* const fileName = "a file name";
    addTextOption(app, parser, "-i,--input", run, fileName, o.answers.inputPath);
    addTextOption(app, parser, "-p,--protocol", run, fileName, o.answers.protocolPath);
    addTextOption(app, parser, "-c,--condition", run, "a condition number (from 1) or name",
                  o.answers.condition);
    addAnswerNumber(app, parser, "--pre", "a whole number of milliseconds",
                    o.answers.preMilliseconds);
    addAnswerNumber(app, parser, "--post", "a whole number of milliseconds",
                    o.answers.postMilliseconds);
    addAnswerNumber(app, parser, "-a,--artifacts-per-segment", "a whole number",
                    o.answers.artifactsPerSegment);
    addAnswerNumber(app, parser, "-k,--components", "a whole number", o.answers.componentsToKeep);
    addTextOption(app, parser, "--module", Scope::kEveryCommand, fileName, o.modulePath);
    addTextOption(app, parser, "--log", run, fileName, o.logPath);
    addTextOption(app, parser, "-r,--report", Scope::kRunAndDetect, fileName, o.report.path);
    addTextOption(app, parser, "--ecg-channel", Scope::kRunAndDetect,
                  "a channel name or number from 1", o.ecgChannel);
    addNumberOption(app, parser, "--ecg-from", Scope::kRunAndDetect, "a number of seconds from 0",
                    o.report.ecgFromSeconds, 0.0, 1e9);
    addNumberOption(app, parser, "--ecg-seconds", Scope::kRunAndDetect,
                    "a number of seconds between 1 and 600", o.report.ecgSeconds, 1.0, 600.0);
    addTextOption(app, parser, "-o,--output", Scope::kDetect, fileName, o.triggerListPath);
    addValueOption(
        app, parser, "--report-channels", run, "channel numbers from 1, such as 1,2,5-8",
        [&o](const std::string& value) { return parseChannelList(value, o.report.channels); });
    addNumberOption(app, parser, "--report-occurrence", run, "an occurrence number from 1",
                    o.report.occurrence, 1, INT_MAX);
    addNumberOption(app, parser, "--report-seconds", run, "a number of seconds between 0.5 and 60",
                    o.report.traceSeconds, 0.5, 60.0);
    addTextOption(app, parser, "--directory", recording, "a folder name", o.demo.directory);
    addNumberOption(app, parser, "--channels", recording, "a whole number between 1 and 256",
                    o.demo.channelCount, 1, 256);
    addNumberOption(app, parser, "--sampling-rate", recording, "a rate between 100 and 5000 Hz",
                    o.demo.samplingRate, 100.0, 5000.0);
    addNumberOption(app, parser, "--duration", recording, "a number of seconds between 10 and 3600",
                    o.demo.durationSeconds, 10.0, 3600.0);
    addChoiceOption(app, parser, "--ordering", Scope::kGenerate,
                    "sample ordering 1 (channel after channel) or 2 (interleaved)",
                    o.demo.sampleOrdering, {ctc::kOrderingChannelMajor, ctc::kOrderingSampleMajor});
    addChoiceOption(
        app, parser, "--data-type", Scope::kGenerate, "data type 1, 3, 4 or 5", o.demo.dataType,
        {ctc::kDataTypeFloat, ctc::kDataTypeInt16, ctc::kDataTypeInt8, ctc::kDataTypeScaledFloat});
    addValueOption(app, parser, "--name", Scope::kGenerate,
                   "a file name without folder or extension", [&o](const std::string& value) {
                       o.demo.name = value;
                       return !value.empty() && value.find('/') == std::string::npos;
                   });
    addValueOption(app, parser, "--format", Scope::kGenerate, "vhdr, edf, bdf or ctc",
                   [&o](const std::string& value) {
                       RecordingFormat format;
                       std::string ignored;
                       o.demo.format = value;
                       return std::all_of(value.begin(), value.end(),
                                          [](char c) { return c >= 'a' && c <= 'z'; }) &&
                              recordingFormatOfPath("." + value, format, ignored);
                   });
    addValueOption(app, parser, "--product", run, "blas or plain", [&o](const std::string& value) {
        if (value != "blas" && value != "plain") return false;
        o.product = value == "blas" ? ProductKind::kBlas : ProductKind::kPlain;
        return true;
    });
    addNumberOption(app, parser, "--blas-threads", run, "a whole number between 1 and 64",
                    o.blasThreads, 1, 64);
    addTextOption(app, parser, "--exclude", Scope::kInfoAndRun,
                  "channel names or numbers from 1, such as ECG,EOG1,33-34", o.exclude);
    addTextOption(app, parser, "--unit", Scope::kInfoAndConvert, "a unit such as uV or mV", o.unit);
    addNumberOption(app, parser, "--seed", recording, "a whole number from 0", o.demo.seed, 0,
                    INT_MAX);
}

void addFlags(CLI::App& app, Parser& parser) {
    app.set_help_flag();
    auto flag = [&app](const char* names, std::function<void()> apply) {
        app.add_flag_callback(names, apply)->trigger_on_parse()->disable_flag_override();
    };
    // Stop at once, unless an unknown option came first.
    auto printOnly = [&parser](Command command) {
        const std::string earlier = extrasMessage(parser);
        if (!earlier.empty()) throw UsageError{earlier};
        throw PrintOnly{command};
    };
    flag("--help", [printOnly] { printOnly(Command::kHelp); });
    flag("--version", [printOnly] { printOnly(Command::kVersion); });
    flag("--batch", [&parser] { parser.options.batch = true; });
    flag("--json", [&parser] {
        checkScope(parser, "--json", Scope::kInfo);
        parser.options.json = true;
    });
    flag("--ecg", [&parser] {
        checkScope(parser, "--ecg", Scope::kGenerate);
        parser.options.demo.ecgChannel = true;
    });
    flag("--timings", [&parser] {
        parser.options.timings = true;
        parser.sawRunOption = true;
    });
}

const std::pair<const char*, Command> kCommands[] = {
    {"run", Command::kRun},     {"demo", Command::kDemo},       {"generate", Command::kGenerate},
    {"info", Command::kInfo},   {"convert", Command::kConvert}, {"detect-r", Command::kDetectR},
    {"about", Command::kAbout}, {"help", Command::kHelp},
};

void addCommands(CLI::App& app, Parser& parser) {
    // What CLI11 cannot place is judged by extrasMessage, in argv's order.
    app.allow_extras();
    app.require_subcommand(0, 1);
    for (const auto& [word, command] : kCommands) {
        CLI::App* sub = app.add_subcommand(word)->fallthrough();
        sub->set_help_flag();
        // The command word comes first: later, it is only an argument.
        sub->preparse_callback([&parser, command = command, word = word](std::size_t remaining) {
            if (remaining + 1 != parser.argumentCount)
                fail(parser, std::string("unexpected argument '") + word + "'");
            parser.options.command = command;
        });
    }
}

// What CLI11 left for the end of its parse: options it does not know, a flag
// given a value, and an option at the end of the line without its value.
std::string messageOf(const CLI::ParseError& error, const Parser& parser,
                      const std::string& lastArgument) {
    const std::string earlier = extrasMessage(parser);
    if (!earlier.empty()) return earlier;
    const std::string what = error.what();
    if (!dynamic_cast<const CLI::ArgumentMismatch*>(&error)) return what;
    // "batch was given a disallowed flag override": --batch=VALUE.
    if (what.find("flag override") != std::string::npos)
        return "unknown option '--" + what.substr(0, what.find(' ')) + "'";
    return "option " + lastArgument + " needs a value";
}

// Our short options stand alone ("-i FILE"; CLI11 alone would also read
// "-iFILE" and "-hV"), so CLI11 knows only the long names and a short one is
// spelled out where an option may stand, not where it is another's value. An
// empty "--name=" becomes the name and an empty value, which its reader
// refuses, rather than the name taking the next argument. Reversed, as CLI11
// takes them.
std::vector<std::string> spelledOut(int argc, const char* const* argv, const Parser& parser) {
    std::vector<std::string> arguments;
    bool valueNext = false;
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        if (!valueNext) {
            const auto shortName = parser.longNameOfShort.find(argument);
            if (shortName != parser.longNameOfShort.end()) argument = shortName->second;
            valueNext = parser.takesValue.count(argument) > 0;
            const std::string named = argument.substr(0, argument.find('='));
            if (named.size() + 1 == argument.size() && parser.takesValue.count(named)) {
                arguments.push_back(named);
                argument.clear();
            }
        } else {
            valueNext = false;
        }
        arguments.push_back(argument);
    }
    std::reverse(arguments.begin(), arguments.end());
    return arguments;
}

bool isCommandWord(const std::string& word) {
    for (const auto& command : kCommands)
        if (word == command.first) return true;
    return false;
}

}  // namespace

ExitStatus reportUsageError(const std::string& message) {
    std::fprintf(stderr, "LumatraZT: %s\nTry 'LumatraZT --help' for more information.\n",
                 message.c_str());
    return kExitUsage;
}

ExitStatus parseCommandLine(int argc, const char* const* argv, Options& options) {
    options = Options();
    if (argc > 1 && argv[1][0] != '-' && !isCommandWord(argv[1]))
        return reportUsageError(std::string("unknown command '") + argv[1] + "'");
    CLI::App app;
    Parser parser(options, app);
    addFlags(app, parser);
    addOptions(app, parser);
    addCommands(app, parser);
    std::vector<std::string> arguments = spelledOut(argc, argv, parser);
    parser.argumentCount = arguments.size();
    const std::string lastArgument = arguments.empty() ? std::string() : arguments.front();
    try {
        app.parse(arguments);
    } catch (const PrintOnly& stop) {
        options.command = stop.command;
        return kExitCompleted;
    } catch (const UsageError& error) {
        return reportUsageError(error.message);
    } catch (const CLI::ParseError& error) {
        return reportUsageError(messageOf(error, parser, lastArgument));
    }
    const std::string extras = extrasMessage(parser);
    if (!extras.empty()) return reportUsageError(extras);
    const bool listsFiles = options.command == Command::kInfo ||
                            options.command == Command::kConvert ||
                            options.command == Command::kDetectR;
    if (listsFiles) options.infoPaths = app.remaining(true);
    if (options.command == Command::kInfo && options.infoPaths.empty())
        return reportUsageError("info needs at least one recording file");
    if (options.command == Command::kConvert && options.infoPaths.size() != 2)
        return reportUsageError("convert needs an input and an output file");
    if (options.command == Command::kDetectR && options.infoPaths.size() != 1)
        return reportUsageError("detect-r needs one recording file");
    if (options.command == Command::kDetectR && options.ecgChannel.empty())
        return reportUsageError("detect-r needs the ECG channel (--ecg-channel NAME|N)");
    if (options.command == Command::kDemo && !options.ecgChannel.empty())
        return reportUsageError("the demo finds its heartbeats in its own ECG channel");
    if ((listsFiles || options.command == Command::kAbout ||
         options.command == Command::kGenerate) &&
        parser.sawRunOption)
        return reportUsageError("the options of a run do not apply to this command");
    if (options.demo.format != "ctc" &&
        (app.count("--ordering") > 0 || app.count("--data-type") > 0))
        return reportUsageError("--ordering and --data-type apply only to --format ctc");
    if (options.command == Command::kDemo &&
        (options.answers.inputPath || options.answers.protocolPath))
        return reportUsageError(
            "the demo makes its own input and protocol; run without the demo "
            "to use your own");
    return kExitCompleted;
}
