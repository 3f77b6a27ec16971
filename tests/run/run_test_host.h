#pragma once

// The run tests' executable stands in for the host application: it is named
// like it, exports the host functions that the plug-in module binds by name,
// answers every dialog from a script and records every host call in order.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct HostScript {
    int version[3] = {1, 8, 3};
    bool hasDocument = true;
    std::deque<std::string> files;  // file dialog answers in order; "" or none left: cancel
    std::deque<int> integers;       // integer answers in order; none left: the default
    bool protocolApplies = true;
    int32_t timeUnit = 1;
    std::vector<std::pair<std::string, std::vector<int32_t>>> conditions;  // name, positions
    // Called after every log line: where a test causes a fault during the run.
    std::function<void(const std::string&)> onLogLine;
};

// One plug-in object's execute against the script, in the module loaded once
// for the process. Returns the calls: the function name, its texts quoted
// (line breaks escaped), its numbers, "-> answer" where the plug-in reads
// one, and last "execute -> true" or "false". Limits of file sizes and
// address space set during the run are lifted afterwards.
std::vector<std::string> runPlugin(HostScript script);
