#include "run/run_paths.h"

namespace {
constexpr std::size_t kExtensionLength = 4;
}

bool hasReplaceableExtension(const std::string& inputPath) {
    return inputPath.size() >= kExtensionLength;
}

std::string pathStem(const std::string& inputPath) {
    return inputPath.substr(0, inputPath.size() - kExtensionLength);
}

std::string outputPathFor(const std::string& inputPath) {
    return pathStem(inputPath) + "_OBS.ctc";
}

std::string trialListPathFor(const std::string& inputPath, const std::string& conditionName) {
    return pathStem(inputPath) + "_" + conditionName + ".trl";
}
