#pragma once

// The report's views of the R-peaks found in an ECG channel: the ECG over a
// stretch the user can choose with the peaks on it, the heart rate over the
// whole recording with the implausible intervals marked, and the average
// beat. They make up the detection report and can join a run's report.

#include <cstdint>
#include <string>
#include <vector>

#include "hostprogram/detection/interval_report.h"
#include "hostprogram/report/report_html.h"

// Long enough for about ten beats, short enough to see each QRS complex.
constexpr double kDefaultStretchSeconds = 10.0;
// The automatic stretch begins this long before the first implausible
// interval, so that a beat or two before it are seen as well.
constexpr double kStretchLeadSeconds = 2.0;

struct EcgViewData {
    std::string channelName;
    std::string unit;                // of the samples, such as "uV"; empty: as stored in the file
    double samplingFrequency = 0.0;  // Hz
    const float* samples = nullptr;  // the whole channel; not owned, read during the calls only
    int64_t sampleCount = 0;
    std::vector<int64_t> peaks{};                    // RPeakDetection::peaks
    int polarity = 0;                                // RPeakDetection::polarity; 0: not said
    IntervalReport intervals{};                      // reportIntervals(peaks, samplingFrequency)
    double stretchStartSeconds = -1.0;               // negative: chosen automatically
    double stretchSeconds = kDefaultStretchSeconds;  // not positive: the default
};

struct EcgStretch {
    int64_t firstSample = 0;
    int64_t sampleCount = 0;  // 0 only when the channel has no samples
};

// The stretch the ECG view draws: the one asked for, or kDefaultStretchSeconds
// from kStretchLeadSeconds before the first implausible interval (from the
// start when there is none), moved and shortened to lie inside the recording.
EcgStretch chooseEcgStretch(const EcgViewData& data);

// The three views, a section each; a view without data (no samples, fewer
// than two beats, no beat with a whole window) is left out.
std::vector<ReportSection> ecgSections(const EcgViewData& data);

// A page of its own with the facts of the detection and the three views.
// False with error when the file cannot be written.
bool writeDetectionReport(const std::string& path, const std::string& recordingPath,
                          const EcgViewData& data, std::string& error);
