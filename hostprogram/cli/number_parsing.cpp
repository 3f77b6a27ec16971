#include "hostprogram/cli/number_parsing.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

bool parseWholeNumber(const std::string& text, int& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool parseRealNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool parseChannelList(const std::string& text, std::vector<int>& channels) {
    channels.clear();
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type comma = text.find(',', start);
        std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::string::size_type dash = item.find('-', 1);
        int first = 0, last = 0;
        if (dash == std::string::npos) {
            if (!parseWholeNumber(item, first)) return false;
            last = first;
        } else if (!parseWholeNumber(item.substr(0, dash), first) ||
                   !parseWholeNumber(item.substr(dash + 1), last) || last < first ||
                   last - first > 100000) {
            return false;
        }
        if (first < 1) return false;
        for (int channel = first; channel <= last; ++channel) channels.push_back(channel);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return !channels.empty();
}
