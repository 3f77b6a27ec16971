#pragma once

// A protocol as the host holds it: named conditions, each a list of
// intervals whose start is the position the plug-in reads.

#include <cstdint>
#include <string>
#include <vector>

enum class TimeUnit { kSamples, kMicroseconds };

struct ProtocolCondition {
    std::string name;
    std::vector<int32_t> starts;  // handed to the plug-in; must stay put while it reads them
    std::vector<int32_t> ends;
};

struct Protocol {
    std::string experimentName;
    TimeUnit timeUnit = TimeUnit::kSamples;
    std::vector<ProtocolCondition> conditions;
};

// Limits of the host records the protocol is handed over in.
constexpr std::size_t kMaxExperimentNameLength = 302;
constexpr std::size_t kMaxConditionNameLength = 255;
// The name of the one condition a plain trigger list becomes.
constexpr const char* kTriggerListConditionName = "Triggers";
