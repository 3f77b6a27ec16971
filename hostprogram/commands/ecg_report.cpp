#include "hostprogram/commands/ecg_report.h"

#include <cstdio>

#include "hostprogram/report/ecg_views.h"

EcgViewData ecgViewData(const EcgTriggers& triggers, const ReportSettings& settings) {
    EcgViewData data;
    data.channelName = triggers.channelName;
    data.unit = triggers.unit;
    data.samplingFrequency = triggers.samplingFrequency;
    data.samples = triggers.samples.data();
    data.sampleCount = static_cast<int64_t>(triggers.samples.size());
    data.peaks = triggers.detection.peaks;
    data.polarity = triggers.detection.polarity;
    data.intervals = triggers.intervals;
    data.stretchStartSeconds = settings.ecgFromSeconds;
    data.stretchSeconds = settings.ecgSeconds;
    return data;
}

ReportExtras ecgReportExtras(const EcgTriggers& triggers, const ReportSettings& settings) {
    ReportExtras extras;
    if (triggers.channel < 0) return extras;
    char rate[96];
    std::snprintf(rate, sizeof rate, "%.1f/min (from %.1f to %.1f)", triggers.intervals.meanRate,
                  triggers.intervals.lowestRate, triggers.intervals.highestRate);
    extras.facts = {
        {"ECG channel", triggers.channelName},
        {"Heartbeats found", std::to_string(triggers.detection.peaks.size())},
        {"Heart rate", rate},
        {"Implausible intervals", std::to_string(triggers.intervals.implausible.size())},
    };
    extras.sections = ecgSections(ecgViewData(triggers, settings));
    return extras;
}
