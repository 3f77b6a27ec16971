// The ECG views of the report: the page a strict parser accepts, the stretch
// held inside the recording, thinning that loses no R-peak, and the average
// beat of a train whose shape is known.

#include "hostprogram/report/ecg_views.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "hostprogram/detection/interval_report.h"
#include "hostprogram/detection/scanner_ecg.h"
#include "hostprogram/report/column_extremes.h"
#include "hostprogram/report/report_data.h"
#include "test_files.h"

namespace {

using Samples = std::pair<int64_t, int64_t>;  // first, count

ScannerEcg ecgAt(double samplingFrequency, bool inverted) {
    ScannerEcgParameters parameters;
    parameters.samplingFrequency = samplingFrequency;
    parameters.durationSeconds = 40.0;
    parameters.invertedLead = inverted;
    return generateScannerEcg(parameters);
}

TEST(EcgViews, DetectionReportIsWellFormedWithTheThreeViews) {
    const ScannerEcg ecg = ecgAt(1000.0, false);
    EcgViewData data{"ECG <1> & 2", "uV", 1000.0, ecg.samples.data(),
                     static_cast<int64_t>(ecg.samples.size())};
    data.peaks = ecg.rPeaks;
    data.peaks.erase(data.peaks.begin() + 20);  // a missed beat: one implausible interval
    data.polarity = 1;
    data.intervals = reportIntervals(data.peaks, data.samplingFrequency);
    ASSERT_FALSE(data.intervals.implausible.empty());
    TemporaryFolder folder;
    std::string error;
    ASSERT_TRUE(writeDetectionReport(folder.file("r.html"), "a&b.edf", data, error)) << error;
    EXPECT_TRUE(isWellFormedXml(folder.file("r.html")));
    const std::string html = readFile(folder.file("r.html"));
    EXPECT_EQ(countOf(html, "<svg"), 3u);
    EXPECT_EQ(countOf(html, "class=\"bands\""), 2u);
    EXPECT_FALSE(writeDetectionReport(folder.file("missing/r.html"), "", data, error));
}

TEST(EcgViews, StretchIsTheOneAskedForMovedInsideTheRecording) {
    EcgViewData data{"ECG", "", 100.0, nullptr, 3000};  // 30 s
    auto stretch = [&](double start, double seconds) {
        data.stretchStartSeconds = start;
        data.stretchSeconds = seconds;
        const EcgStretch chosen = chooseEcgStretch(data);
        return std::make_pair(chosen.firstSample, chosen.sampleCount);
    };
    EXPECT_EQ(stretch(5, 4), Samples(500, 400));
    EXPECT_EQ(stretch(28, 4), Samples(2600, 400));
    EXPECT_EQ(stretch(1e300, 1e300), Samples(0, 3000));
    EXPECT_EQ(stretch(-1, 0), Samples(0, 1000));
    data.intervals.implausible.push_back({12.5, 2.5, IntervalProblem::TooLong});
    EXPECT_EQ(stretch(-1, 0), Samples(1050, 1000));
    data.intervals.implausible.front().startSeconds = 0.5;
    EXPECT_EQ(stretch(-1, 0), Samples(0, 1000));
}

TEST(EcgViews, ThinningKeepsTheExtremumOfEveryQrsAt5kHz) {
    for (bool inverted : {false, true}) {
        const ScannerEcg ecg = ecgAt(5000.0, inverted);
        const auto count = static_cast<int64_t>(ecg.samples.size());
        const std::vector<int64_t> kept = columnExtremes(ecg.samples.data(), count, 700);
        EXPECT_LE(kept.size(), 1400u);
        for (int64_t peak : ecg.rPeaks) {
            // The sample the eye takes for the peak: the extremum within 10 ms.
            const auto from = ecg.samples.begin() + std::max<int64_t>(0, peak - 50);
            const auto to = ecg.samples.begin() + std::min<int64_t>(count, peak + 51);
            const auto extremum =
                inverted ? std::min_element(from, to) : std::max_element(from, to);
            const int64_t index = extremum - ecg.samples.begin();
            EXPECT_TRUE(std::binary_search(kept.begin(), kept.end(), index))
                << (inverted ? "inverted, " : "") << "peak at " << peak;
        }
    }
}

// Ten beats of one shape at alternately half and one and a half times its
// size, each on a baseline of its own; two more whose windows leave the channel.
TEST(EcgViews, AverageBeatIsTheShapeWithItsSpread) {
    const int pre = 30, post = 60;
    auto shape = [](int d) { return 100.0 * std::exp(-d * d / 20.0) + 20.0 * std::sin(d / 9.0); };
    std::vector<float> channel(1000);
    std::vector<int64_t> peaks = {5};
    for (int beat = 0; beat < 10; ++beat) {
        const int peak = 100 * beat + 35;
        for (int d = -35; d < 65; ++d)
            channel[peak + d] = static_cast<float>(10.0 * beat + (beat % 2 ? 1.5 : 0.5) * shape(d));
        peaks.push_back(peak);
    }
    peaks.push_back(990);
    const WindowSpread spread = windowSpread(channel.data(), 1000, peaks, pre, post);
    ASSERT_EQ(spread.windows, 10);
    double shapeMean = 0.0;
    for (int d = -pre; d <= post; ++d) shapeMean += shape(d) / (pre + post + 1);
    ASSERT_EQ(spread.mean.size(), 91u);
    for (int d = -pre; d <= post; ++d) {
        EXPECT_NEAR(spread.mean[d + pre], shape(d) - shapeMean, 1e-3) << d;
        EXPECT_NEAR(spread.standardDeviation[d + pre], 0.5 * std::fabs(shape(d) - shapeMean), 1e-3)
            << d;
    }
}

}  // namespace
