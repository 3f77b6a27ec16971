#pragma once

// Whole runs through the test host: a recording and protocol answers in a
// fresh folder, the transcript of host calls afterwards.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "obs_test_support.h"

class WholeRun : public ::testing::Test {
public:
    // A two-channel recording of 300 samples at 1000 Hz with values that vary.
    TestRecording smallRecording(float frequency = 1000.0f, int samples = 300) const {
        TestRecording recording;
        recording.samplingFrequency = frequency;
        recording.channels.assign(2, std::vector<float>(static_cast<std::size_t>(samples)));
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t s = 0; s < recording.channels[c].size(); ++s)
                recording.channels[c][s] =
                    static_cast<float>((s * 37 + c * 11) % 23) + 5.0f * static_cast<float>(c);
        return recording;
    }

    std::string input() const { return folder.file("in.ctc"); }
    std::string output() const { return folder.file("in_OBS.ctc"); }
    std::string protocolFile() const { return folder.file("artifacts.prt"); }

    // The script of a run that answers every question: input, protocol with
    // conditions "Rest" (one interval) and "Scan" (the given positions),
    // then the integer answers given.
    std::string script(const std::string& positions, const std::vector<int>& answers,
                       const std::string& extra = "") const {
        std::string text = "open " + input() + "\nopen " + protocolFile() +
                           "\nexperiment Gradient run\ncondition Rest 7\ncondition Scan " +
                           positions + "\n";
        for (int answer : answers) text += "integer " + std::to_string(answer) + "\n";
        return text + extra;
    }

    HostRun run(const std::string& scriptText) { return runTestHost(folder, scriptText); }

    TemporaryFolder folder;
};

// The busy indicator is off at every dialog and message box and whenever a
// run ends.
inline void expectBusyOffAtDialogsAndEnds(const std::vector<std::string>& calls) {
    bool busy = false;
    for (const std::string& call : calls) {
        if (call == "ztShowBusyCursor") busy = true;
        if (call == "ztStopBusyCursor") busy = false;
        const bool dialog = call.rfind("ztGetOpenFileName", 0) == 0 ||
                            call.rfind("ztGetIntegerInput", 0) == 0 ||
                            call.rfind("ztMessageBox", 0) == 0;
        const bool end = call.rfind("execute ->", 0) == 0;
        EXPECT_FALSE(busy && (dialog || end)) << "busy at: " << call;
    }
}

// The last log line or message box before the run ended.
inline std::string lastReport(const std::vector<std::string>& calls) {
    for (auto call = calls.rbegin(); call != calls.rend(); ++call)
        if (call->rfind("ztLogText", 0) == 0 || call->rfind("ztMessageBox", 0) == 0) return *call;
    return "";
}

inline std::string positionsFrom(int count, int first, int spacing) {
    std::string text;
    for (int t = 0; t < count; ++t) text += std::to_string(first + t * spacing) + " ";
    return text;
}
