#include "hostprogram/commands/ecg_report.h"

#include <cstdio>

ReportExtras ecgReportExtras(const EcgTriggers& triggers, const ReportSettings& settings) {
    (void)settings;
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
    return extras;
}
