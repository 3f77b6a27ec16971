#include "hostprogram/cli/options.h"

#include <cstdio>
#include <functional>
#include <map>

#include "hostprogram/cli/number_parsing.h"

namespace {

// "1,3,5-8": one-based channel numbers, ranges inclusive.
bool parseChannelList(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::string::size_type dash = item.find('-', 1);
        int first = 0, last = 0;
        if (dash == std::string::npos) {
            if (!parseWholeNumber(item, first)) return false;
            last = first;
        } else if (!parseWholeNumber(item.substr(0, dash), first) ||
                   !parseWholeNumber(item.substr(dash + 1), last) || last < first ||
                   last - first > 100000) {
            return false;
        }
        if (first < 1) return false;
        for (int channel = first; channel <= last; ++channel) channels.push_back(channel);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return !channels.empty();
}

struct ValueOption {
    const char* expected;  // what a valid value looks like, for the message
    std::function<bool(const std::string&, Options&)> apply;
};

bool storeText(std::optional<std::string>& field, const std::string& value) {
    field = value;
    return !value.empty();
}

bool storeNumber(std::optional<int>& field, const std::string& value) {
    int number = 0;
    if (!parseWholeNumber(value, number)) return false;
    field = number;
    return true;
}

const std::map<std::string, ValueOption>& valueOptions() {
    static const std::map<std::string, ValueOption> table = {
        {"--input",
         {"a file name", [](auto& v, Options& o) { return storeText(o.answers.inputPath, v); }}},
        {"--protocol",
         {"a file name", [](auto& v, Options& o) { return storeText(o.answers.protocolPath, v); }}},
        {"--condition",
         {"a condition number (from 1) or name",
          [](auto& v, Options& o) { return storeText(o.answers.condition, v); }}},
        {"--pre",
         {"a whole number of milliseconds",
          [](auto& v, Options& o) { return storeNumber(o.answers.preMilliseconds, v); }}},
        {"--post",
         {"a whole number of milliseconds",
          [](auto& v, Options& o) { return storeNumber(o.answers.postMilliseconds, v); }}},
        {"--artifacts-per-segment",
         {"a whole number",
          [](auto& v, Options& o) { return storeNumber(o.answers.artifactsPerSegment, v); }}},
        {"--components",
         {"a whole number",
          [](auto& v, Options& o) { return storeNumber(o.answers.componentsToKeep, v); }}},
        {"--module",
         {"a file name",
          [](auto& v, Options& o) {
              o.modulePath = v;
              return !v.empty();
          }}},
        {"--log",
         {"a file name",
          [](auto& v, Options& o) {
              o.logPath = v;
              return !v.empty();
          }}},
        {"--report",
         {"a file name",
          [](auto& v, Options& o) {
              o.report.path = v;
              return !v.empty();
          }}},
        {"--report-channels",
         {"channel numbers from 1, such as 1,2,5-8",
          [](auto& v, Options& o) { return parseChannelList(v, o.report.channels); }}},
        {"--report-occurrence",
         {"an occurrence number from 1",
          [](auto& v, Options& o) {
              return parseWholeNumber(v, o.report.occurrence) && o.report.occurrence >= 1;
          }}},
        {"--report-seconds",
         {"a number of seconds between 0.5 and 60",
          [](auto& v, Options& o) {
              return parseRealNumber(v, o.report.traceSeconds) && o.report.traceSeconds >= 0.5 &&
                     o.report.traceSeconds <= 60;
          }}},
        {"--directory",
         {"a folder name",
          [](auto& v, Options& o) {
              o.demo.directory = v;
              return !v.empty();
          }}},
        {"--channels",
         {"a whole number between 1 and 256",
          [](auto& v, Options& o) {
              return parseWholeNumber(v, o.demo.channelCount) && o.demo.channelCount >= 1 &&
                     o.demo.channelCount <= 256;
          }}},
        {"--sampling-rate",
         {"a rate between 100 and 5000 Hz",
          [](auto& v, Options& o) {
              return parseRealNumber(v, o.demo.samplingRate) && o.demo.samplingRate >= 100 &&
                     o.demo.samplingRate <= 5000;
          }}},
        {"--duration",
         {"a number of seconds between 10 and 3600",
          [](auto& v, Options& o) {
              return parseRealNumber(v, o.demo.durationSeconds) && o.demo.durationSeconds >= 10 &&
                     o.demo.durationSeconds <= 3600;
          }}},
        {"--ordering",
         {"sample ordering 1 (channel after channel) or 2 (interleaved)",
          [](auto& v, Options& o) {
              return parseWholeNumber(v, o.demo.sampleOrdering) &&
                     (o.demo.sampleOrdering == 1 || o.demo.sampleOrdering == 2);
          }}},
        {"--data-type",
         {"data type 1, 3, 4 or 5",
          [](auto& v, Options& o) {
              int& type = o.demo.dataType;
              return parseWholeNumber(v, type) && (type == 1 || (type >= 3 && type <= 5));
          }}},
        {"--name",
         {"a file name without folder or extension",
          [](auto& v, Options& o) {
              o.demo.name = v;
              return !v.empty() && v.find('/') == std::string::npos;
          }}},
        {"--product",
         {"blas or plain",
          [](auto& v, Options& o) {
              if (v == "blas")
                  o.product = ProductKind::kBlas;
              else if (v == "plain")
                  o.product = ProductKind::kPlain;
              else
                  return false;
              return true;
          }}},
        {"--blas-threads",
         {"a whole number between 1 and 64",
          [](auto& v, Options& o) {
              return parseWholeNumber(v, o.blasThreads) && o.blasThreads >= 1 &&
                     o.blasThreads <= 64;
          }}},
        {"--seed",
         {"a whole number from 0",
          [](auto& v, Options& o) {
              int seed = 0;
              if (!parseWholeNumber(v, seed) || seed < 0) return false;
              o.demo.seed = static_cast<unsigned>(seed);
              return true;
          }}},
    };
    return table;
}

const std::map<std::string, std::string>& shortOptions() {
    static const std::map<std::string, std::string> table = {
        {"-i", "--input"},      {"-p", "--protocol"},
        {"-c", "--condition"},  {"-a", "--artifacts-per-segment"},
        {"-k", "--components"}, {"-r", "--report"},
    };
    return table;
}

// Options that only make sense with some commands; others are refused there
// rather than silently ignored.
bool isRecordingOption(const std::string& name) {
    return name == "--directory" || name == "--channels" || name == "--sampling-rate" ||
           name == "--duration" || name == "--seed";
}

bool isGenerateOnly(const std::string& name) {
    return name == "--ordering" || name == "--data-type" || name == "--name";
}

ExitStatus usageError(const std::string& message) {
    std::fprintf(stderr, "LumatraZT: %s\nTry 'LumatraZT --help' for more information.\n",
                 message.c_str());
    return kExitUsage;
}

bool commandFromWord(const std::string& word, Command& command) {
    static const std::map<std::string, Command> commands = {
        {"run", Command::kRun},   {"demo", Command::kDemo},   {"generate", Command::kGenerate},
        {"info", Command::kInfo}, {"about", Command::kAbout}, {"help", Command::kHelp},
    };
    auto found = commands.find(word);
    if (found == commands.end()) return false;
    command = found->second;
    return true;
}

}  // namespace

ExitStatus parseCommandLine(int argc, const char* const* argv, Options& options) {
    options = Options();
    int index = 1;
    if (index < argc && argv[index][0] != '-') {
        if (!commandFromWord(argv[index], options.command))
            return usageError(std::string("unknown command '") + argv[index] + "'");
        ++index;
    }
    bool sawRunOption = false;
    for (; index < argc; ++index) {
        std::string argument = argv[index];
        if (argument == "--help" || argument == "-h") {
            options.command = Command::kHelp;
            return kExitCompleted;
        }
        if (argument == "--version" || argument == "-V") {
            options.command = Command::kVersion;
            return kExitCompleted;
        }
        if (argument == "--batch") {
            options.batch = true;
            continue;
        }
        if (argument == "--timings") {
            options.timings = true;
            sawRunOption = true;
            continue;
        }
        if (argument.empty() || argument[0] != '-' || argument == "-") {
            if (options.command != Command::kInfo)
                return usageError("unexpected argument '" + argument + "'");
            options.infoPaths.push_back(argument);
            continue;
        }
        std::string name = argument, value;
        bool hasValue = false;
        std::string::size_type equals = argument.find('=');
        if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        auto shortName = shortOptions().find(name);
        if (shortName != shortOptions().end()) name = shortName->second;
        auto option = valueOptions().find(name);
        if (option == valueOptions().end()) return usageError("unknown option '" + name + "'");
        if (!hasValue) {
            if (index + 1 >= argc) return usageError("option " + name + " needs a value");
            value = argv[++index];
        }
        const bool generating = options.command == Command::kGenerate;
        if (isRecordingOption(name) && options.command != Command::kDemo && !generating)
            return usageError("option " + name + " belongs to the demo and generate commands");
        if (isGenerateOnly(name) && !generating)
            return usageError("option " + name + " belongs to the generate command");
        if (!option->second.apply(value, options))
            return usageError("option " + name + " expects " + option->second.expected + ", not '" +
                              value + "'");
        if (!isRecordingOption(name) && !isGenerateOnly(name) && name != "--module")
            sawRunOption = true;
    }
    if (options.command == Command::kInfo && options.infoPaths.empty())
        return usageError("info needs at least one CTC file");
    if ((options.command == Command::kInfo || options.command == Command::kAbout ||
         options.command == Command::kGenerate) &&
        sawRunOption)
        return usageError("the options of a run do not apply to this command");
    if (options.command == Command::kDemo &&
        (options.answers.inputPath || options.answers.protocolPath))
        return usageError(
            "the demo makes its own input and protocol; run without the demo "
            "to use your own");
    return kExitCompleted;
}
