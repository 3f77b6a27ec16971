#include "hostprogram/host/answer_dialogs.h"

#include "hostprogram/cli/number_parsing.h"
#include "hostprogram/host/interruption.h"
#include "run/run_paths.h"

namespace {

const std::optional<int>* givenNumber(const DialogAnswers& given, Question question) {
    switch (question) {
        case Question::kPreMilliseconds:
            return &given.preMilliseconds;
        case Question::kPostMilliseconds:
            return &given.postMilliseconds;
        case Question::kArtifactsPerSegment:
            return &given.artifactsPerSegment;
        case Question::kComponents:
            return &given.componentsToKeep;
        default:
            return nullptr;
    }
}

const char* optionName(Question question) {
    switch (question) {
        case Question::kPreMilliseconds:
            return "--pre";
        case Question::kPostMilliseconds:
            return "--post";
        case Question::kArtifactsPerSegment:
            return "--artifacts-per-segment";
        case Question::kComponents:
            return "--components";
        case Question::kCondition:
            return "--condition";
        default:
            return "";
    }
}

void remember(HostSession& session, Question question, int answer) {
    switch (question) {
        case Question::kCondition:
            session.condition = answer;
            break;
        case Question::kPreMilliseconds:
            session.preMilliseconds = answer;
            break;
        case Question::kPostMilliseconds:
            session.postMilliseconds = answer;
            break;
        case Question::kArtifactsPerSegment:
            session.artifactsPerSegment = answer;
            break;
        case Question::kComponents:
            session.componentsToKeep = answer;
            break;
        default:
            break;
    }
}

int markerConditionNumber(const MarkerConditions& markers, const std::string& name) {
    for (std::size_t i = 0; i < markers.names.size(); ++i)
        if (markers.names[i] == name) return static_cast<int>(i) + 1;
    return 0;
}

std::string boundsText(int minimum, int maximum) {
    return std::to_string(minimum) + ".." + std::to_string(maximum);
}

}  // namespace

int resolveCondition(const Protocol& protocol, const std::string& text, std::string& why) {
    const int count = static_cast<int>(protocol.conditions.size());
    int number = 0;
    if (parseWholeNumber(text, number)) {
        if (number >= 1 && number <= count) return number;
        why = "condition " + text + " is outside 1.." + std::to_string(count);
        return 0;
    }
    for (int i = 0; i < count; ++i)
        if (protocol.conditions[i].name == text) return i + 1;
    why = "the protocol has no condition named '" + text + "'";
    return 0;
}

bool answerFileQuestion(HostSession& session, const char* prompt, const char* filter,
                        std::string& path) {
    const Question question = classifyFileQuestion(filter);
    const std::optional<std::string>* given = nullptr;
    if (session.given && question == Question::kInputFile) given = &session.given->inputPath;
    if (session.given && question == Question::kProtocolFile) given = &session.given->protocolPath;
    const std::string ending = question == Question::kInputFile ? ".ctc" : "";
    bool chosen = false;
    if (given && *given) {
        std::string why;
        // Readability of the protocol is the protocol loader's to report,
        // with the plug-in's own words after it.
        const bool usable = question == Question::kProtocolFile
                                ? fitsPathBuffer(**given, why)
                                : acceptableFile(**given, ending, why);
        if (usable) {
            path = **given;
            chosen = true;
        } else {
            session.log->note("refused: " + **given + ": " + why);
            session.refused = true;
            return false;
        }
    } else if (question == Question::kProtocolFile && session.markerConditions) {
        path = session.markerConditions->label;
        chosen = true;
    } else {
        chosen = askFile(session.prompts, prompt ? prompt : "", ending, path);
    }
    if (!chosen) {
        session.cancelled = true;
        return false;
    }
    if (question == Question::kInputFile) {
        session.inputPath = path;
        removeOnInterruption(outputPathFor(path));
    }
    if (question == Question::kProtocolFile) session.protocolPath = path;
    return true;
}

int answerNumberQuestion(HostSession& session, const char* prompt, int defaultValue, int minimum,
                         int maximum) {
    const Question question = classifyNumberQuestion(prompt);
    int answer = defaultValue;
    bool decided = false;
    if (session.given && question == Question::kCondition && session.given->condition) {
        std::string why;
        answer = session.protocolApplied
                     ? resolveCondition(session.protocol, *session.given->condition, why)
                     : 0;
        if (answer == 0 && session.protocolApplied && session.markerConditions)
            answer = markerConditionNumber(*session.markerConditions, *session.given->condition);
        if (answer == 0) {
            // Declining the choice stops the plug-in cleanly.
            session.log->note("refused: " + why);
            session.refused = true;
        }
        decided = true;
    } else if (session.given && givenNumber(*session.given, question) &&
               *givenNumber(*session.given, question)) {
        const int value = **givenNumber(*session.given, question);
        if (value >= minimum && value <= maximum) {
            answer = value;
            decided = true;
        } else if (question == Question::kArtifactsPerSegment && value > maximum &&
                   value >= minimum) {
            // More artifacts per segment than occurrences: the plug-in itself
            // refuses this, in its own words.
            answer = value;
            decided = true;
        } else {
            // Bounds that depend on an earlier answer given at the prompt can
            // only be checked now; the question is then asked after all.
            session.log->note(std::string(optionName(question)) + " " + std::to_string(value) +
                              " is outside " + boundsText(minimum, maximum) +
                              " for this run; asking instead");
        }
    }
    if (!decided) {
        NumberOutcome outcome = askNumber(session.prompts, prompt ? prompt : "", defaultValue,
                                          minimum, maximum, answer);
        if (outcome == NumberOutcome::kEndOfInput && question == Question::kCondition &&
            session.prompts.source == AnswerSource::kTerminal) {
            // Ctrl-D at the terminal declines the choice of a condition.
            answer = 0;
            session.cancelled = true;
        }
    }
    remember(session, question, answer);
    // The trial list is written as the run goes; an interruption must not
    // leave a partial one.
    if (question == Question::kCondition && session.protocolApplied && answer >= 1 &&
        answer <= static_cast<int>(session.protocol.conditions.size()) &&
        !session.inputPath.empty())
        removeOnInterruption(trialListPathFor(
            session.inputPath,
            session.protocol.conditions[static_cast<std::size_t>(answer - 1)].name));
    return answer;
}
