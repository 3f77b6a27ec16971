// R-peak detection on generated in-scanner ECG with known beats, one hard
// feature per case, scored with a 50 ms matching window; the refusals of
// channels without beats; the report of implausible intervals.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "hostprogram/detection/beat_matching.h"
#include "hostprogram/detection/interval_report.h"
#include "hostprogram/detection/r_peak_detector.h"
#include "hostprogram/detection/scanner_ecg.h"

namespace {

struct DetectionCase {
    const char* name;
    ScannerEcgParameters parameters;
};

ScannerEcgParameters with(double rate, double heartRate, double tOverR, bool inverted,
                          double ectopic, double sliceRate, uint64_t seed) {
    ScannerEcgParameters p;
    p.seed = seed;
    p.samplingFrequency = rate;
    p.durationSeconds = 120.0;
    p.heartRate = heartRate;
    p.tOverR = tOverR;
    p.invertedLead = inverted;
    p.ectopicFraction = ectopic;
    p.sliceRate = sliceRate;
    p.muscleBurstsPerMinute = 2.0;
    return p;
}

// Twice the noise, breathing that changes the amplitude by 40 %, strong
// drift, irregular rhythm and a few ectopic beats, all at once.
ScannerEcgParameters rough(ScannerEcgParameters p) {
    p.noiseOverR = 0.06;
    p.breathingModulation = 0.4;
    p.driftOverR = 1.5;
    p.rateVariability = 0.1;
    p.ectopicFraction = 0.05;
    p.muscleBurstsPerMinute = 0.0;
    return p;
}

// Twice the noise and eight bursts a minute: a burst's noise then reaches a
// third of the R wave, and on a late wave it passed for a beat (or hid one)
// until candidates had to stand clear of the noise beside them. Long enough
// for 180 beats at 45/min.
ScannerEcgParameters muscleBursts(ScannerEcgParameters p) {
    p.noiseOverR = 0.06;
    p.muscleBurstsPerMinute = 8.0;
    p.durationSeconds = 240.0;
    return p;
}

TEST(RPeakDetector, FindsEveryBeatAtItsPeakInTheHardCases) {
    const DetectionCase cases[] = {
        {"plain", with(1000, 70, 0.8, false, 0.0, 0.0, 1)},
        {"inverted lead", with(1000, 70, 1.5, true, 0.0, 0.0, 2)},
        {"late wave 2.5 times R", with(1000, 70, 2.5, false, 0.0, 0.0, 3)},
        {"inverted with late wave 2.5", with(1000, 60, 2.5, true, 0.0, 0.0, 4)},
        {"45/min", with(1000, 45, 2.0, false, 0.0, 0.0, 5)},
        {"110/min", with(1000, 110, 2.0, false, 0.0, 0.0, 6)},
        {"250 Hz", with(250, 70, 2.0, true, 0.0, 0.0, 7)},
        {"5 kHz", with(5000, 70, 2.0, false, 0.0, 0.0, 8)},
        {"slice-rate spikes", with(1000, 70, 1.5, false, 0.0, 15.0, 9)},
        {"spikes at 5 kHz", with(5000, 70, 2.5, true, 0.0, 15.0, 10)},
        {"ectopic beats", with(1000, 80, 1.5, false, 0.08, 0.0, 11)},
        {"everything at 110/min", with(1000, 110, 2.5, true, 0.05, 15.0, 12)},
        {"rough at 250 Hz", rough(with(250, 60, 2.0, true, 0.0, 0.0, 13))},
        {"rough with spikes at 5 kHz", rough(with(5000, 90, 2.0, true, 0.0, 15.0, 14))},
        {"muscle bursts", muscleBursts(with(1000, 45, 2.5, false, 0.05, 0.0, 709))},
    };
    for (const DetectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScannerEcg ecg = generateScannerEcg(c.parameters);
        RPeakDetection detection;
        ASSERT_TRUE(detectRPeaks(ecg.samples.data(), static_cast<int64_t>(ecg.samples.size()),
                                 c.parameters.samplingFrequency, detection))
            << detection.reason;
        EXPECT_EQ(detection.polarity, c.parameters.invertedLead ? -1 : 1);
        const BeatMatch match =
            matchBeats(ecg.rPeaks, detection.peaks, c.parameters.samplingFrequency, 0.05);
        std::printf("%-28s sensitivity %.4f  predictivity %.4f  median %.2f ms  p99 %.2f ms\n",
                    c.name, match.sensitivity(), match.positivePredictivity(),
                    1e3 * match.errorPercentile(0.5), 1e3 * match.errorPercentile(0.99));
        EXPECT_GE(match.sensitivity(), 0.99);
        EXPECT_GE(match.positivePredictivity(), 0.99);
        EXPECT_LE(match.errorPercentile(0.5), 0.003);
        EXPECT_LE(match.errorPercentile(0.99), 0.012);
    }
}

TEST(RPeakDetector, FlatNoisyAndTooShortChannelsGiveAReasonAndNoBeats) {
    const std::vector<float> flat(60 * 1000, 12.5f);
    RPeakDetection detection;
    EXPECT_FALSE(detectRPeaks(flat.data(), static_cast<int64_t>(flat.size()), 1000.0, detection));
    EXPECT_TRUE(detection.peaks.empty());
    EXPECT_EQ(detection.polarity, 0);
    EXPECT_NE(detection.reason.find("flat"), std::string::npos);

    // A detached electrode: noise alone must not become a rhythm.
    ScannerEcgParameters p;
    p.heartRate = 1e-3;  // the first beat would come after the end
    p.driftOverR = 0.0;
    p.muscleBurstsPerMinute = 3.0;
    const ScannerEcg noise = generateScannerEcg(p);
    ASSERT_TRUE(noise.rPeaks.empty());
    EXPECT_FALSE(detectRPeaks(noise.samples.data(), static_cast<int64_t>(noise.samples.size()),
                              1000.0, detection));
    EXPECT_TRUE(detection.peaks.empty());
    EXPECT_NE(detection.reason.find("no heartbeats"), std::string::npos);

    p = ScannerEcgParameters{};
    p.durationSeconds = 2.0;
    const ScannerEcg shortEcg = generateScannerEcg(p);
    EXPECT_FALSE(detectRPeaks(shortEcg.samples.data(),
                              static_cast<int64_t>(shortEcg.samples.size()), 1000.0, detection));
    EXPECT_TRUE(detection.peaks.empty());
    EXPECT_NE(detection.reason.find("shorter"), std::string::npos);
}

TEST(IntervalReport, NamesEachImplausibleIntervalWithItsTime) {
    // At 100 Hz a steady 1 s rhythm with a false beat (0.2 s, then 0.8 s,
    // which is within 30 % of its neighbours), a missed one (2.1 s), and a
    // pause of 1.4 s.
    const std::vector<int64_t> peaks = {0,   100, 200, 300,  320,  400,  500,
                                        600, 810, 910, 1010, 1150, 1250, 1350};
    const IntervalReport report = reportIntervals(peaks, 100.0);
    EXPECT_EQ(report.beats, 14);
    EXPECT_NEAR(report.meanRate, 60.0 * 13 / 13.5, 1e-9);
    EXPECT_NEAR(report.highestRate, 300.0, 1e-9);
    EXPECT_NEAR(report.lowestRate, 60.0 / 2.1, 1e-9);
    ASSERT_EQ(report.implausible.size(), 3u);
    EXPECT_EQ(report.implausible[0].problem, IntervalProblem::TooShort);
    EXPECT_NEAR(report.implausible[0].startSeconds, 3.0, 1e-9);
    EXPECT_EQ(report.implausible[1].problem, IntervalProblem::TooLong);
    EXPECT_NEAR(report.implausible[1].startSeconds, 6.0, 1e-9);
    EXPECT_EQ(report.implausible[2].problem, IntervalProblem::SuddenChange);
    EXPECT_NEAR(report.implausible[2].startSeconds, 10.1, 1e-9);
    EXPECT_NEAR(report.implausible[2].lengthSeconds, 1.4, 1e-9);
    const std::string text = formatIntervalReport(report);
    EXPECT_NE(text.find("at 6.000 s: 2.100 s, longer than 2 s"), std::string::npos) << text;
    EXPECT_NE(formatIntervalReport(reportIntervals({5}, 100.0)).find("too few"), std::string::npos);
    // A channel of noise: the text lists the first ones and counts the rest.
    IntervalReport noisy = report;
    noisy.implausible.assign(kListedIntervals + 7, report.implausible[0]);
    EXPECT_NE(formatIntervalReport(noisy).find("and 7 more"), std::string::npos);
}

}  // namespace
