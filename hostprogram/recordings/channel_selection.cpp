#include "hostprogram/recordings/channel_selection.h"

#include "hostprogram/cli/number_parsing.h"

bool resolveChannelList(const std::string& list, const RecordingInfo& info,
                        std::vector<int>& channels, std::string& error) {
    const int count = static_cast<int>(info.channels.size());
    std::vector<bool> chosen(info.channels.size(), false);
    std::string::size_type start = 0;
    while (true) {
        const std::string::size_type comma = list.find(',', start);
        const std::string item =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        bool named = false;
        for (int channel = 0; channel < count; ++channel)
            if (info.channels[channel].name == item && !item.empty()) {
                chosen[channel] = named = true;
            }
        std::vector<int> numbers;
        if (!named && !parseChannelList(item, numbers)) {
            error =
                "'" + item + "': no channel of that name, nor a channel number from 1 or a range";
            return false;
        }
        for (int number : numbers) {
            if (number > count) {
                error = "'" + item + "': the recording has " + std::to_string(count) + " channels";
                return false;
            }
            chosen[number - 1] = true;
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    channels.clear();
    for (int channel = 0; channel < count; ++channel)
        if (chosen[channel]) channels.push_back(channel);
    return true;
}

bool correctedChannelFlags(const std::string& list, const RecordingInfo& info,
                           const std::vector<bool>& alwaysExcluded, std::vector<bool>& corrected,
                           std::string& error) {
    corrected.assign(info.channels.size(), true);
    for (std::size_t channel = 0; channel < alwaysExcluded.size(); ++channel)
        if (alwaysExcluded[channel]) corrected[channel] = false;
    if (list.empty()) return true;
    std::vector<int> excluded;
    if (!resolveChannelList(list, info, excluded, error)) return false;
    for (int channel : excluded) corrected[static_cast<std::size_t>(channel)] = false;
    return true;
}
