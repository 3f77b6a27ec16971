#pragma once

// Asking the user the plug-in's questions: at a terminal with the default and
// the bounds, or line by line from piped standard input. An answer that does
// not fit is asked again; the end of the input cancels a file question and
// takes the default of a number.

#include <iosfwd>
#include <string>

enum class AnswerSource {
    kTerminal,  // a person answers: prompts show the default and the bounds
    kStream,    // answers are read from a pipe or file, one line each
    kNone,      // nothing is read: files cancel, numbers take their default
};

struct PromptChannel {
    AnswerSource source = AnswerSource::kNone;
    std::istream* input = nullptr;    // where answers come from
    std::ostream* prompts = nullptr;  // where questions and notes go
    bool exhausted = false;           // the input has ended
};

enum class NumberOutcome { kAnswered, kDefaultTaken, kEndOfInput };

// Asks for a whole number within minimum..maximum. Enter takes the default.
// When the bounds leave no possible answer (minimum above maximum), or the
// input has ended, the default is taken without asking and reported as such.
NumberOutcome askNumber(PromptChannel& channel, const std::string& prompt, int defaultValue,
                        int minimum, int maximum, int& answer);

// Asks for a readable file; requiredEnding (such as ".ctc", compared without
// regard to case) may be empty. False when the user gave no file: an empty
// line or the end of the input.
bool askFile(PromptChannel& channel, const std::string& prompt, const std::string& requiredEnding,
             std::string& path);

// True when path fits the plug-in's 256-byte path buffer; why says otherwise.
bool fitsPathBuffer(const std::string& path, std::string& why);

// Checks a file answer: readable, with the required ending, short enough for
// the plug-in's 256-byte path buffer. False with the reason otherwise.
bool acceptableFile(const std::string& path, const std::string& requiredEnding, std::string& why);
