#pragma once

// Whole runs of the plug-in module, with the test executable as the host: a
// recording and the answers to the run's questions in a fresh folder, and
// the host calls of the run.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "obs_test_support.h"
#include "run_test_host.h"

using Calls = std::vector<std::string>;

inline std::vector<int32_t> positionsFrom(int count, int32_t first, int32_t spacing) {
    std::vector<int32_t> positions;
    for (int t = 0; t < count; ++t) positions.push_back(first + t * spacing);
    return positions;
}

inline Calls callsStartingWith(const Calls& calls, const std::string& prefix) {
    Calls found;
    for (const std::string& call : calls)
        if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
}

// The last log line or message box before the run ended.
inline std::string lastReport(const Calls& calls) {
    for (auto call = calls.rbegin(); call != calls.rend(); ++call)
        if (call->rfind("ztLogText", 0) == 0 || call->rfind("ztMessageBox", 0) == 0) return *call;
    return "";
}

class WholeRun : public ::testing::Test {
public:
    // Two channels of `samples` with values that vary.
    void writeInput(float frequency = 1000.0f, int samples = 300, uint32_t version = 1,
                    uint32_t ordering = 1) {
        TestRecording recording{version, ordering, frequency, {}};
        recording.channels.assign(2, std::vector<float>(static_cast<std::size_t>(samples)));
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t s = 0; s < recording.channels[c].size(); ++s)
                recording.channels[c][s] = static_cast<float>((s * 37 + c * 11) % 23 + 5 * c);
        writeTestRecording(input(), recording);
    }

    std::string input() const { return folder.file("in.ctc"); }
    std::string output() const { return folder.file("in_OBS.ctc"); }

    // Answers every question: the input, a protocol with the conditions
    // "Rest" (one interval) and "Scan" (at `positions`), then the integers
    // (condition, pre- and post-trigger time, A, K).
    void answer(const std::vector<int32_t>& positions, const std::string& integers) {
        host.files = {input(), folder.file("artifacts.prt")};
        host.conditions = {{"Rest", {7}}, {"Scan", positions}};
        host.integers.clear();
        std::istringstream numbers(integers);
        for (int number = 0; numbers >> number;) host.integers.push_back(number);
    }

    TemporaryFolder folder;
    HostScript host;
};
