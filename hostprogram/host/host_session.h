#pragma once

// The state of the one plug-in run this process hosts: what the host
// functions answer from, and what they saw of the run. The exported host
// functions are plain C functions, so they reach it through activeSession().

#include <string>

#include "hostprogram/cli/options.h"
#include "hostprogram/host/answer_prompts.h"
#include "hostprogram/host/console_log.h"
#include "hostprogram/protocols/marker_conditions.h"
#include "hostprogram/protocols/protocol.h"

// The questions the plug-in asks, told apart by prompt text and file filter.
enum class Question {
    kInputFile,
    kProtocolFile,
    kCondition,
    kPreMilliseconds,
    kPostMilliseconds,
    kArtifactsPerSegment,
    kComponents,
    kOther,
};

Question classifyFileQuestion(const char* filter);
Question classifyNumberQuestion(const char* prompt);

struct HostSession {
    const DialogAnswers* given = nullptr;  // answers from the command line
    ConsoleLog* log = nullptr;
    PromptChannel prompts;

    // The protocol the plug-in had the host load; conditionIndex stays valid
    // only while protocolApplied.
    Protocol protocol;
    bool protocolApplied = false;
    const MarkerConditions* markerConditions = nullptr;  // null: the input has none in use

    // The answers the run actually received (-1: not asked).
    std::string inputPath;
    std::string protocolPath;
    int condition = -1;  // from 1
    int preMilliseconds = -1;
    int postMilliseconds = -1;
    int artifactsPerSegment = -1;
    int componentsToKeep = -1;

    // What the run did, for its exit status.
    bool cancelled = false;        // a file question got no file, or no condition
    bool refused = false;          // the host refused an answer it was given
    bool messageBoxShown = false;  // the plug-in refused with a message box
    bool completionLogged = false;
};

// The session the host functions serve; null between runs.
HostSession* activeSession();
void setActiveSession(HostSession* session);

// The line with which the plug-in reports a completed run.
constexpr const char* kCompletionLogLine = "// KORUSuite> Artifact template removal completed!";

// The version the host reports to the plug-in.
constexpr int kHostVersionMajor = 1;
constexpr int kHostVersionMinor = 8;
constexpr int kHostVersionRelease = 3;
