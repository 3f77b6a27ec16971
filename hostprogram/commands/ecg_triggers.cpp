#include "hostprogram/commands/ecg_triggers.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "hostprogram/protocols/protocol_file.h"
#include "hostprogram/recordings/channel_selection.h"
#include "run/dialogue_bounds.h"

namespace {

bool findEcgChannel(const RecordingSource& source, const std::string& asked, int& channel,
                    std::string& error) {
    std::vector<int> found;
    if (asked.find(',') != std::string::npos ||
        !resolveChannelList(asked, source.info, found, error) || found.size() != 1) {
        error = source.path + ": --ecg-channel " + asked + ": " +
                (error.empty() ? "name one channel, by its name or its number from 1" : error);
        return false;
    }
    channel = found.front();
    if (std::find(source.blockChannels.begin(), source.blockChannels.end(), channel) ==
        source.blockChannels.end()) {
        error = source.path + ": the ECG channel " + asked +
                " is not sampled at the recording's rate and cannot be searched for beats";
        return false;
    }
    return true;
}

// The channel's row in the blocks readRecordingBlock gives, read a block at
// a time so that only the one channel is held whole.
bool readWholeChannel(RecordingSource& source, int channel, std::vector<float>& samples,
                      std::string& error) {
    const std::vector<int>& read = source.blockChannels;
    const std::size_t row =
        static_cast<std::size_t>(std::find(read.begin(), read.end(), channel) - read.begin());
    const int64_t total = source.info.samples;
    const int64_t perBlock =
        std::max<int64_t>(1, (int64_t{1} << 20) / static_cast<int64_t>(read.size()));
    samples.resize(static_cast<std::size_t>(total));
    std::vector<float> block;
    for (int64_t first = 0; first < total; first += perBlock) {
        const int64_t count = std::min(perBlock, total - first);
        block.resize(read.size() * static_cast<std::size_t>(count));
        if (!readRecordingBlock(source, first, count, block.data(), error)) return false;
        std::copy_n(
            block.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(count)),
            count, samples.begin() + first);
    }
    return true;
}

// Why the beats found cannot drive a run, naming the channel; empty when
// they can.
std::string ecgTriggerProblem(const EcgTriggers& triggers) {
    const std::string channel = "the ECG channel " + triggers.channelName;
    if (triggers.detection.peaks.empty())
        return channel + ": " +
               (triggers.detection.reason.empty() ? "no heartbeats were found"
                                                  : triggers.detection.reason);
    const std::size_t found = triggers.detection.peaks.size();
    if (found < static_cast<std::size_t>(kArtifactsPerSegmentMinimum))
        return channel + ": " + std::to_string(found) + " heartbeat" + (found == 1 ? "" : "s") +
               " found, fewer than the " + std::to_string(kArtifactsPerSegmentMinimum) +
               " one segment needs";
    return "";
}

}  // namespace

bool detectEcgTriggers(RecordingSource& source, const std::string& asked, EcgTriggers& triggers,
                       std::string& error) {
    triggers = EcgTriggers();
    if (!findEcgChannel(source, asked, triggers.channel, error)) return false;
    const RecordingChannel& channel =
        source.info.channels[static_cast<std::size_t>(triggers.channel)];
    triggers.channelName = channel.name;
    triggers.unit = channel.unit;
    triggers.samplingFrequency = source.info.samplingFrequency;
    if (!readWholeChannel(source, triggers.channel, triggers.samples, error)) return false;
    detectRPeaks(triggers.samples.data(), static_cast<int64_t>(triggers.samples.size()),
                 triggers.samplingFrequency, triggers.detection);
    triggers.intervals = reportIntervals(triggers.detection.peaks, triggers.samplingFrequency);
    return true;
}

bool detectRunTriggers(RecordingSource& source, const std::string& asked, EcgTriggers& triggers,
                       std::string& error) {
    if (!detectEcgTriggers(source, asked, triggers, error)) return false;
    const std::string problem = ecgTriggerProblem(triggers);
    if (problem.empty()) return true;
    error = source.path + ": " + problem;
    return false;
}

std::string formatEcgTriggers(const EcgTriggers& triggers) {
    return "ECG channel " + triggers.channelName + " (R pointing " +
           (triggers.detection.polarity < 0 ? "down" : "up") +
           "): " + formatIntervalReport(triggers.intervals);
}

std::string addRPeakCondition(MarkerConditions& conditions, const std::vector<int64_t>& peaks) {
    std::vector<ProtocolCondition>& existing = conditions.protocol.conditions;
    const auto taken = [&existing](const std::string& name) {
        return std::any_of(existing.begin(), existing.end(),
                           [&name](const ProtocolCondition& c) { return c.name == name; });
    };
    ProtocolCondition condition;
    condition.name = kRPeakConditionName;
    for (int copy = 2; taken(condition.name); ++copy)
        condition.name = std::string(kRPeakConditionName) + "_" + std::to_string(copy);
    for (int64_t peak : peaks) {
        if (peak < 0 || peak > INT32_MAX) continue;
        condition.starts.push_back(static_cast<int32_t>(peak));
        condition.ends.push_back(static_cast<int32_t>(peak));
    }
    existing.push_back(condition);
    conditions.names.push_back(condition.name);
    return condition.name;
}

bool writeTriggerList(const std::string& path, const EcgTriggers& triggers,
                      const std::string& recordingPath, std::string& error) {
    std::ostringstream comment;
    comment << "R-peaks of channel " << triggers.channelName << " of " << recordingPath
            << ": zero-based samples at " << triggers.samplingFrequency << " Hz";
    if (writeTriggerListFile(path, triggers.detection.peaks, comment.str())) return true;
    error = path + ": cannot be written";
    return false;
}
