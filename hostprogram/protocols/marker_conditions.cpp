#include "hostprogram/protocols/marker_conditions.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "hostprogram/recordings/recording_source.h"

std::string fileSafeConditionName(const std::string& name) {
    std::string safe = name;
    std::replace(safe.begin(), safe.end(), '/', '_');
    return safe;
}

MarkerConditions markerConditionsOf(const RecordingInfo& info, const std::string& label,
                                    const std::string& experimentName) {
    std::map<std::string, std::vector<const RecordingMarker*>> byName;
    for (const RecordingMarker& marker : info.markers)
        if (marker.sample >= 0 && marker.sample <= INT32_MAX)
            byName[recordingConditionName(info.format, marker)].push_back(&marker);
    MarkerConditions conditions;
    conditions.label = label;
    conditions.protocol.experimentName = experimentName;
    conditions.protocol.timeUnit = TimeUnit::kSamples;
    std::set<std::string> taken;
    for (const auto& [name, markers] : byName) {
        ProtocolCondition condition;
        // Two names may differ only where one has '/' and the other '_'.
        const std::string safe = fileSafeConditionName(name);
        condition.name = safe;
        for (int copy = 2; !taken.insert(condition.name).second; ++copy)
            condition.name = safe + "_" + std::to_string(copy);
        for (const RecordingMarker* marker : markers) {
            const int64_t last = marker->sample + std::max<int64_t>(marker->duration, 1) - 1;
            condition.starts.push_back(static_cast<int32_t>(marker->sample));
            condition.ends.push_back(static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX)));
        }
        conditions.protocol.conditions.push_back(condition);
        conditions.names.push_back(name);
    }
    return conditions;
}
