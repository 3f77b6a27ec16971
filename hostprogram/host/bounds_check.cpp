#include "hostprogram/host/bounds_check.h"

#include "hostprogram/host/answer_dialogs.h"
#include "hostprogram/host/answer_prompts.h"
#include "hostprogram/protocols/protocol_file.h"

namespace {

void checkRange(std::vector<std::string>& problems, const char* option,
                const std::optional<int>& value, int minimum, int maximum,
                const std::string& because = std::string()) {
    if (!value || (*value >= minimum && *value <= maximum)) return;
    problems.push_back(std::string(option) + " " + std::to_string(*value) + " is outside " +
                       std::to_string(minimum) + ".." + std::to_string(maximum) + because);
}

}  // namespace

std::vector<std::string> checkGivenAnswers(const DialogAnswers& given) {
    std::vector<std::string> problems;
    checkRange(problems, "--pre", given.preMilliseconds, kWindowMillisecondsMinimum,
               kWindowMillisecondsMaximum);
    checkRange(problems, "--post", given.postMilliseconds, kWindowMillisecondsMinimum,
               kWindowMillisecondsMaximum);
    std::string why;
    if (given.inputPath && !acceptableFile(*given.inputPath, ".ctc", why))
        problems.push_back("--input " + *given.inputPath + ": " + why);
    if (given.protocolPath && !fitsPathBuffer(*given.protocolPath, why))
        problems.push_back("--protocol " + *given.protocolPath + ": " + why);

    // The occurrences of the chosen condition bound the segment length.
    int occurrences = -1;
    Protocol protocol;
    std::string error;
    if (given.protocolPath && loadProtocolFile(*given.protocolPath, protocol, error)) {
        int condition = static_cast<int>(protocol.conditions.size());
        if (given.condition) condition = resolveCondition(protocol, *given.condition, why);
        if (condition == 0)
            problems.push_back("--condition " + *given.condition + ": " + why);
        else
            occurrences = static_cast<int>(protocol.conditions[condition - 1].starts.size());
    }
    if (occurrences >= 0) {
        checkRange(problems, "--artifacts-per-segment", given.artifactsPerSegment,
                   kArtifactsPerSegmentMinimum, occurrences,
                   " (the condition has " + std::to_string(occurrences) + " occurrences)");
    } else if (given.artifactsPerSegment &&
               *given.artifactsPerSegment < kArtifactsPerSegmentMinimum) {
        checkRange(problems, "--artifacts-per-segment", given.artifactsPerSegment,
                   kArtifactsPerSegmentMinimum, 2147483647);
    }
    // Without --artifacts-per-segment its answer, and so the upper bound,
    // comes only during the run.
    const int segmentLength = given.artifactsPerSegment.value_or(2147483647);
    if (segmentLength >= kComponentsToKeepMinimum)
        checkRange(problems, "--components", given.componentsToKeep, kComponentsToKeepMinimum,
                   segmentLength, " (at most the artifacts per segment)");
    return problems;
}
