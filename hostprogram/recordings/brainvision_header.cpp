#include "hostprogram/recordings/brainvision_header.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "hostprogram/recordings/brainvision_text.h"

namespace {

struct NamedFormat {
    const char* name;
    BrainVisionBinaryFormat format;
};
constexpr NamedFormat kBinaryFormats[] = {
    {"INT_16", BrainVisionBinaryFormat::kInt16},
    {"UINT_16", BrainVisionBinaryFormat::kUint16},
    {"INT_32", BrainVisionBinaryFormat::kInt32},
    {"IEEE_FLOAT_32", BrainVisionBinaryFormat::kFloat32},
};

std::string upperCase(std::string text) {
    for (char& character : text)
        if (character >= 'a' && character <= 'z')
            character = static_cast<char>(character - 'a' + 'A');
    return text;
}

// "Ch12" gives 12; anything else 0.
int64_t channelNumberOf(const std::string& key) {
    int64_t number = 0;
    if (key.size() < 3 || brainVisionLowerCase(key.substr(0, 2)) != "ch" ||
        !parseBrainVisionInteger(key.substr(2), number) || key[2] == '+' || key[2] == '-')
        return 0;
    return number;
}

// One entry of [Common Infos] or [Binary Infos]; an empty result is fine.
std::string readSettingEntry(const BrainVisionEntry& entry, BrainVisionHeader& header) {
    const std::string key = brainVisionLowerCase(entry.key);
    const std::string value = upperCase(entry.value);
    if (key == "datafile") {
        header.dataFile = entry.value;
    } else if (key == "markerfile") {
        header.markerFile = entry.value;
    } else if (key == "dataformat") {
        if (value != "BINARY")
            return "expected BINARY (ASCII data is not read), not " + entry.value;
    } else if (key == "datatype") {
        if (value != "TIMEDOMAIN") return "expected TIMEDOMAIN, not " + entry.value;
    } else if (key == "dataorientation") {
        if (value != "MULTIPLEXED" && value != "VECTORIZED")
            return "expected MULTIPLEXED or VECTORIZED, not " + entry.value;
        header.vectorized = value == "VECTORIZED";
    } else if (key == "numberofchannels") {
        if (!parseBrainVisionInteger(entry.value, header.numberOfChannels) ||
            header.numberOfChannels < 1)
            return "expected a number of channels of at least 1, not " + entry.value;
    } else if (key == "samplinginterval") {
        if (!parseBrainVisionNumber(entry.value, header.samplingInterval) ||
            !(header.samplingInterval > 0))
            return "expected a positive interval in microseconds, not " + entry.value;
    } else if (key == "datapoints") {
        if (!parseBrainVisionInteger(entry.value, header.dataPoints) || header.dataPoints < 0)
            return "expected a number of samples, not " + entry.value;
    } else if (key == "binaryformat") {
        for (const NamedFormat& named : kBinaryFormats)
            if (value == named.name) {
                header.binaryFormat = named.format;
                header.binaryFormatGiven = true;
                return std::string();
            }
        return "expected INT_16, UINT_16, INT_32 or IEEE_FLOAT_32, not " + entry.value;
    } else if (key == "usebigendianorder") {
        if (value != "NO") return "expected NO (big-endian data is not read), not " + entry.value;
    }
    return std::string();
}

// Ch<n>=<name>,<reference>,<resolution>,<unit>[,<future fields>]
std::string readChannelEntry(const BrainVisionEntry& entry, BrainVisionHeader& header) {
    BrainVisionChannelInfo channel;
    channel.number = channelNumberOf(entry.key);
    channel.line = entry.line;
    if (channel.number < 1) return "expected Ch<number>=<name>,<reference>,<resolution>,<unit>";
    const std::vector<std::string> fields = splitBrainVisionFields(entry.value);
    channel.name = fields[0];
    if (channel.name.empty()) return "expected a channel name";
    if (fields.size() > 1) channel.reference = fields[1];
    if (fields.size() > 2 && !fields[2].empty() &&
        !parseBrainVisionNumber(fields[2], channel.resolution))
        return "expected a resolution, not " + fields[2];
    channel.unit = fields.size() > 3 && !fields[3].empty() ? fields[3] : "µV";
    header.channels.push_back(channel);
    return std::string();
}

}  // namespace

uint32_t brainVisionElementSize(BrainVisionBinaryFormat format) {
    return format == BrainVisionBinaryFormat::kInt16 || format == BrainVisionBinaryFormat::kUint16
               ? 2
               : 4;
}

bool parseBrainVisionHeader(const std::string& bytes, const std::string& path,
                            BrainVisionHeader& header, std::string& error) {
    header = BrainVisionHeader();
    BrainVisionText text;
    if (!splitBrainVisionFile(bytes, path, "Header", text, error)) return false;
    std::set<std::string> seen;
    for (const BrainVisionEntry& entry : text.entries) {
        const bool settings = entry.section == "common infos" || entry.section == "binary infos";
        if (!settings && entry.section != "channel infos") continue;
        const std::string key = brainVisionLowerCase(entry.key);
        std::string problem;
        if (!seen.insert(key).second)
            problem = "given twice";
        else
            problem = settings ? readSettingEntry(entry, header) : readChannelEntry(entry, header);
        if (!problem.empty()) {
            error =
                path + ": line " + std::to_string(entry.line) + ": " + entry.key + ": " + problem;
            return false;
        }
    }
    return true;
}

bool validateBrainVisionHeader(BrainVisionHeader& header, const std::string& path,
                               std::string& error) {
    std::sort(header.channels.begin(), header.channels.end(),
              [](const BrainVisionChannelInfo& a, const BrainVisionChannelInfo& b) {
                  return a.number < b.number;
              });
    const auto refuse = [&](const std::string& why) {
        error = path + ": " + why;
        return false;
    };
    if (header.dataFile.empty()) return refuse("DataFile: missing from [Common Infos]");
    if (header.numberOfChannels < 0) return refuse("NumberOfChannels: missing from [Common Infos]");
    if (!(header.samplingInterval > 0))
        return refuse("SamplingInterval: missing from [Common Infos]");
    if (!header.binaryFormatGiven) return refuse("BinaryFormat: missing from [Binary Infos]");
    const auto given = static_cast<int64_t>(header.channels.size());
    if (given != header.numberOfChannels)
        return refuse("NumberOfChannels: " + std::to_string(header.numberOfChannels) +
                      ", but [Channel Infos] has " + std::to_string(given) + " channels");
    for (int64_t index = 0; index < given; ++index) {
        const BrainVisionChannelInfo& channel = header.channels[index];
        if (channel.number != index + 1)
            return refuse("line " + std::to_string(channel.line) + ": Ch" +
                          std::to_string(channel.number) + ": expected Ch" +
                          std::to_string(index + 1) + " (channels are numbered 1 to " +
                          std::to_string(given) + ")");
        if (!(channel.resolution != 0))
            return refuse("line " + std::to_string(channel.line) + ": Ch" +
                          std::to_string(channel.number) + ": expected a non-zero resolution");
    }
    return true;
}
