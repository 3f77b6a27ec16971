#include "hostprogram/protocols/protocol_parser.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>

#include "hostprogram/support/text_trim.h"

namespace {

// A '#' at the start of a line or after a blank starts a comment, so that a
// name may still contain one.
std::string withoutComment(const std::string& line) {
    for (std::string::size_type i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1]))))
            return line.substr(0, i);
    return line;
}

// Lines of the text without their ends, numbered from 1 by position.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

enum class PositionError { kNone, kNotANumber, kNegative, kTooLarge };

PositionError parsePosition(const std::string& word, int32_t& position) {
    if (word.empty() ||
        !(std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' || word[0] == '+'))
        return PositionError::kNotANumber;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(word.c_str(), &end, 10);
    if (*end != '\0') return PositionError::kNotANumber;
    if (value < 0) return PositionError::kNegative;
    if (errno == ERANGE || value > 2147483647LL) return PositionError::kTooLarge;
    position = static_cast<int32_t>(value);
    return PositionError::kNone;
}

std::string describe(PositionError error, const std::string& word) {
    switch (error) {
        case PositionError::kNegative:
            return "position " + word + " is negative";
        case PositionError::kTooLarge:
            return "position " + word + " is beyond 2147483647";
        default:
            return "'" + word + "' is not a whole number";
    }
}

struct LineError {
    const std::string& fileName;
    std::string& error;
    Protocol& protocol;

    bool operator()(std::size_t lineNumber, const std::string& why) const {
        // Line 0 stands for the file as a whole (something missing from it).
        error = fileName + ":" + (lineNumber ? std::to_string(lineNumber) + ":" : "") + " " + why;
        protocol = Protocol();
        return false;
    }
};

bool validConditionName(const std::string& name, std::string& why) {
    if (name.empty()) {
        why = "condition without a name";
        return false;
    }
    if (name.size() > kMaxConditionNameLength) {
        why =
            "condition name longer than " + std::to_string(kMaxConditionNameLength) + " characters";
        return false;
    }
    // The name becomes part of the trial list's file name.
    for (char c : name)
        if (c == '/' || c == '\\' || std::iscntrl(static_cast<unsigned char>(c))) {
            why = "condition name '" + name +
                  "' contains '/', '\\' or a control character (it becomes part of a file name)";
            return false;
        }
    return true;
}

}  // namespace

bool looksLikeTriggerList(const std::string& text) {
    for (const std::string& line : splitLines(text)) {
        std::string content = trimmedText(withoutComment(line));
        if (content.empty()) continue;
        return std::isdigit(static_cast<unsigned char>(content[0])) || content[0] == '-' ||
               content[0] == '+';
    }
    return false;
}

bool parseTriggerList(const std::string& text, const std::string& fileName, Protocol& protocol,
                      std::string& error) {
    protocol = Protocol();
    LineError fail{fileName, error, protocol};
    ProtocolCondition condition;
    condition.name = kTriggerListConditionName;
    std::vector<std::string> lines = splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::istringstream words(withoutComment(lines[i]));
        std::string word, extra;
        if (!(words >> word)) continue;
        if (words >> extra)
            return fail(i + 1, "expected one sample number per line, found also '" + extra + "'");
        int32_t position = 0;
        PositionError problem = parsePosition(word, position);
        if (problem != PositionError::kNone) return fail(i + 1, describe(problem, word));
        condition.starts.push_back(position);
        condition.ends.push_back(position);
    }
    if (condition.starts.empty()) return fail(0, "no trigger positions");
    protocol.experimentName = fileName.substr(fileName.rfind('/') + 1);
    if (protocol.experimentName.size() > kMaxExperimentNameLength)
        protocol.experimentName.resize(kMaxExperimentNameLength);
    protocol.timeUnit = TimeUnit::kSamples;
    protocol.conditions.push_back(condition);
    error.clear();
    return true;
}

bool parseProtocolText(const std::string& text, const std::string& fileName, Protocol& protocol,
                       std::string& error) {
    protocol = Protocol();
    LineError fail{fileName, error, protocol};
    bool sawExperiment = false, sawTimeUnit = false;
    std::set<std::string> conditionNames;
    std::vector<std::string> lines = splitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t lineNumber = i + 1;
        std::string content = trimmedText(withoutComment(lines[i]));
        if (content.empty()) continue;
        std::string::size_type colon = content.find(':');
        bool startsLikeNumber = std::isdigit(static_cast<unsigned char>(content[0])) ||
                                content[0] == '-' || content[0] == '+';
        if (colon != std::string::npos && !startsLikeNumber) {
            std::string key = trimmedText(content.substr(0, colon));
            std::string value = trimmedText(content.substr(colon + 1));
            if (key == "experiment") {
                if (sawExperiment) return fail(lineNumber, "second 'experiment:' line");
                if (value.size() > kMaxExperimentNameLength)
                    return fail(lineNumber, "experiment name longer than " +
                                                std::to_string(kMaxExperimentNameLength) +
                                                " characters");
                protocol.experimentName = value;
                sawExperiment = true;
            } else if (key == "time-unit") {
                if (sawTimeUnit) return fail(lineNumber, "second 'time-unit:' line");
                if (value == "samples")
                    protocol.timeUnit = TimeUnit::kSamples;
                else if (value == "microseconds")
                    protocol.timeUnit = TimeUnit::kMicroseconds;
                else
                    return fail(lineNumber, "time unit '" + value +
                                                "' is neither 'samples' nor 'microseconds'");
                sawTimeUnit = true;
            } else if (key == "condition") {
                std::string why;
                if (!validConditionName(value, why)) return fail(lineNumber, why);
                if (!conditionNames.insert(value).second)
                    return fail(lineNumber, "second condition named '" + value + "'");
                protocol.conditions.push_back(ProtocolCondition{value, {}, {}});
            } else {
                return fail(lineNumber, "unknown key '" + key +
                                            "' (expected experiment, time-unit or condition)");
            }
            continue;
        }
        if (!startsLikeNumber)
            return fail(lineNumber,
                        "expected 'key: value' or an interval 'start end', not '" + content + "'");
        if (protocol.conditions.empty())
            return fail(lineNumber, "interval before the first 'condition:' line");
        std::istringstream words(content);
        std::string startWord, endWord, extra;
        words >> startWord;
        if (!(words >> endWord)) return fail(lineNumber, "interval without an end position");
        if (words >> extra)
            return fail(lineNumber, "unexpected '" + extra + "' after the interval");
        int32_t start = 0, end = 0;
        PositionError problem = parsePosition(startWord, start);
        if (problem != PositionError::kNone) return fail(lineNumber, describe(problem, startWord));
        problem = parsePosition(endWord, end);
        if (problem != PositionError::kNone) return fail(lineNumber, describe(problem, endWord));
        if (end < start)
            return fail(lineNumber,
                        "interval ends (" + endWord + ") before it starts (" + startWord + ")");
        ProtocolCondition& condition = protocol.conditions.back();
        condition.starts.push_back(start);
        condition.ends.push_back(end);
    }
    if (!sawTimeUnit) return fail(0, "no 'time-unit:' line (samples or microseconds)");
    if (protocol.conditions.empty()) return fail(0, "no 'condition:' line");
    error.clear();
    return true;
}
