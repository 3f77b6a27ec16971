#include "run/trial_list.h"

#include <fstream>

#include "run/general_number_format.h"
#include "run/sample_conversions.h"

namespace {

// Positions of the protocol are sample numbers in this unit; any other unit
// means microseconds.
constexpr int32_t kTimeUnitSamples = 1;

void writeLine(std::ofstream& file, const std::string& time, const std::string& conditionName) {
    if (!file.is_open()) return;
    file << time << ' ' << conditionName << "\r\n";
    file.flush();
}

}  // namespace

std::string conditionNameOf(const ConditionRecord& condition) {
    return recordText(condition.ConditionName).substr(0, sizeof condition.ConditionName - 1);
}

std::string trialTimeText(float microseconds) {
    return formatGeneralSixDigits(static_cast<double>(microseconds));
}

std::string trialTimeText(int32_t microseconds) {
    return std::to_string(microseconds);
}

void buildTriggersAndTrialList(const ConditionRecord& condition, int32_t timeUnit,
                               float samplingFrequency, const std::string& trialListPath,
                               OffsetIntVector T) {
    // Binary mode: the line ends are written explicitly as CR LF.
    std::ofstream file(trialListPath, std::ios::binary | std::ios::trunc);
    const std::string conditionName = conditionNameOf(condition);
    for (int32_t t = 0; t < condition.NrOfIntervals; ++t) {
        const int32_t position = condition.IntervalPositions[t];
        if (timeUnit == kTimeUnitSamples) {
            T[t] = position;
            writeLine(file, trialTimeText(trialTimeFromSampleNumber(position, samplingFrequency)),
                      conditionName);
        } else {
            T[t] = triggerSampleFromMicroseconds(position, samplingFrequency);
            writeLine(file, trialTimeText(position), conditionName);
        }
    }
}
