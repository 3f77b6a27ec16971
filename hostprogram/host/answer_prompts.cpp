#include "hostprogram/host/answer_prompts.h"

#include <cctype>
#include <istream>
#include <ostream>

#include "hostprogram/cli/number_parsing.h"
#include "hostprogram/support/file_checks.h"
#include "hostprogram/support/text_trim.h"

namespace {

// The plug-in's prompts carry line breaks; at a terminal they read better
// with the answer on the line of their last part.
std::string oneQuestion(const std::string& prompt) {
    std::string text = prompt;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool endsWithIgnoringCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - ending.size() + i])) !=
            std::tolower(static_cast<unsigned char>(ending[i])))
            return false;
    return true;
}

bool readAnswerLine(PromptChannel& channel, std::string& line) {
    if (channel.source == AnswerSource::kNone || channel.exhausted || !channel.input) return false;
    if (!std::getline(*channel.input, line)) {
        channel.exhausted = true;
        return false;
    }
    line = trimmedText(line);
    return true;
}

// In stream mode the answer is shown after the question, so that a log of
// the session reads like the terminal would have.
void echoStreamAnswer(PromptChannel& channel, const std::string& line) {
    if (channel.source == AnswerSource::kStream)
        *channel.prompts << (line.empty() ? "(empty)" : line) << "\n";
}

}  // namespace

NumberOutcome askNumber(PromptChannel& channel, const std::string& prompt, int defaultValue,
                        int minimum, int maximum, int& answer) {
    answer = defaultValue;
    if (minimum > maximum) {
        if (channel.prompts)
            *channel.prompts << oneQuestion(prompt) << "\n  no answer lies within " << minimum
                             << ".." << maximum << "; the default " << defaultValue
                             << " is taken\n";
        return NumberOutcome::kDefaultTaken;
    }
    const bool defaultFits = defaultValue >= minimum && defaultValue <= maximum;
    while (true) {
        if (channel.source == AnswerSource::kNone || channel.exhausted)
            return NumberOutcome::kEndOfInput;
        *channel.prompts << oneQuestion(prompt) << "\n  [default " << defaultValue << ", "
                         << minimum << ".." << maximum << "]: " << std::flush;
        std::string line;
        if (!readAnswerLine(channel, line)) {
            *channel.prompts << "\n";
            return NumberOutcome::kEndOfInput;
        }
        echoStreamAnswer(channel, line);
        if (line.empty()) {
            if (defaultFits) return NumberOutcome::kDefaultTaken;
            *channel.prompts << "  the default " << defaultValue << " lies outside " << minimum
                             << ".." << maximum << "; please enter a number\n";
            continue;
        }
        int value = 0;
        if (!parseWholeNumber(line, value)) {
            *channel.prompts << "  '" << line << "' is not a whole number\n";
            continue;
        }
        if (value < minimum || value > maximum) {
            *channel.prompts << "  " << value << " is outside " << minimum << ".." << maximum
                             << "\n";
            continue;
        }
        answer = value;
        return NumberOutcome::kAnswered;
    }
}

bool fitsPathBuffer(const std::string& path, std::string& why) {
    if (path.size() <= 255) return true;
    why = "the path is longer than 255 characters";
    return false;
}

bool acceptableFile(const std::string& path, const std::string& requiredEnding, std::string& why) {
    if (!fitsPathBuffer(path, why)) return false;
    if (!requiredEnding.empty() && !endsWithIgnoringCase(path, requiredEnding)) {
        why = "the name must end in " + requiredEnding;
        return false;
    }
    return isReadableFile(path, why);
}

bool askFile(PromptChannel& channel, const std::string& prompt, const std::string& requiredEnding,
             std::string& path) {
    while (true) {
        if (channel.source == AnswerSource::kNone || channel.exhausted) return false;
        *channel.prompts << oneQuestion(prompt)
                         << "\n  [file name; empty to cancel]: " << std::flush;
        std::string line;
        if (!readAnswerLine(channel, line)) {
            *channel.prompts << "\n";
            return false;
        }
        echoStreamAnswer(channel, line);
        if (line.empty()) return false;
        std::string why;
        if (acceptableFile(line, requiredEnding, why)) {
            path = line;
            return true;
        }
        *channel.prompts << "  " << line << ": " << why << "\n";
    }
}
