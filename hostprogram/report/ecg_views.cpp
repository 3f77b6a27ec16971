#include "hostprogram/report/ecg_views.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hostprogram/report/column_extremes.h"
#include "hostprogram/report/report_data.h"
#include "hostprogram/report/svg_plot.h"

namespace {

constexpr const char* kTraceColour = "#1f77b4";
constexpr const char* kPeakColour = "#d62728";
constexpr const char* kSpreadColour = "#7f7f7f";
constexpr const char* kImplausibleBandColour = "#f7c6c7";
constexpr int kFigureWidth = 900, kFigureHeight = 300;
// About one column a pixel of the plot area, two points each.
constexpr int kTraceColumns = 700;
// An hour at 110/min is about 6600 intervals, drawn one by one; only longer
// recordings are thinned.
constexpr int kMostRatePoints = 8000;
// The average beat's window around each R-peak: the P wave before it, the T
// wave and the late (magnetohydrodynamic) wave after it.
constexpr double kBeatBeforeSeconds = 0.3, kBeatAfterSeconds = 0.6;

std::string formatNumber(double value, int decimals) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string unitSuffix(const EcgViewData& data) {
    return " [" + (data.unit.empty() ? std::string("as stored in the file") : data.unit) + "]";
}

// Seconds to a sample count, held to 0..limit before rounding so that
// no value can overflow.
int64_t samplesIn(double seconds, double samplingFrequency, int64_t limit) {
    const double samples = std::clamp(seconds * samplingFrequency, 0.0, static_cast<double>(limit));
    return std::llround(samples);
}

// The curve through the extremes of each of `columns` pixel columns; every
// point when columns is 0.
PlotSeries thinned(PlotSeries series, const std::vector<double>& x, const std::vector<double>& y,
                   int columns) {
    for (int64_t i : columnExtremes(y.data(), static_cast<int64_t>(y.size()), columns)) {
        series.x.push_back(x[i]);
        series.y.push_back(y[i]);
    }
    return series;
}

PlotBands implausibleBands(const IntervalReport& intervals, const std::string& label) {
    PlotBands bands{label, kImplausibleBandColour, {}};
    for (const ImplausibleInterval& interval : intervals.implausible)
        bands.spans.emplace_back(interval.startSeconds,
                                 interval.startSeconds + interval.lengthSeconds);
    return bands;
}

std::string traceFigure(const EcgViewData& data) {
    const EcgStretch stretch = chooseEcgStretch(data);
    const double rate = data.samplingFrequency;
    const float* first = data.samples + stretch.firstSample;
    PlotSeries trace{"ECG", kTraceColour, false, {}, {}};
    for (int64_t i : columnExtremes(first, stretch.sampleCount, kTraceColumns)) {
        trace.x.push_back(static_cast<double>(stretch.firstSample + i) / rate);
        trace.y.push_back(first[i]);
    }
    PlotSeries peaks{"R-peak", kPeakColour, false, {}, {}, SeriesStyle::Points};
    for (int64_t peak : data.peaks) {
        if (peak < stretch.firstSample || peak >= stretch.firstSample + stretch.sampleCount)
            continue;
        peaks.x.push_back(static_cast<double>(peak) / rate);
        peaks.y.push_back(data.samples[peak]);
    }
    LinePlot plot;
    plot.title = "ECG from " + formatNumber(stretch.firstSample / rate, 1) + " s to " +
                 formatNumber((stretch.firstSample + stretch.sampleCount) / rate, 1) +
                 " s, channel " + data.channelName;
    plot.xLabel = "time in the recording [s]";
    plot.yLabel = "ECG" + unitSuffix(data);
    plot.series = {trace, peaks};
    plot.bands.push_back(implausibleBands(data.intervals, "implausible"));
    return renderLinePlot(plot, kFigureWidth, kFigureHeight);
}

// Each interval's rate is drawn at its middle, between the two beats that
// make it.
std::string heartRateFigure(const EcgViewData& data) {
    const double rate = data.samplingFrequency;
    std::vector<double> middles, beatsPerMinute;
    for (std::size_t k = 1; k < data.peaks.size(); ++k) {
        const double interval = static_cast<double>(data.peaks[k] - data.peaks[k - 1]) / rate;
        middles.push_back(static_cast<double>(data.peaks[k - 1]) / rate + interval / 2);
        beatsPerMinute.push_back(interval > 0 ? 60.0 / interval : NAN);
    }
    const int columns =
        static_cast<int64_t>(beatsPerMinute.size()) > kMostRatePoints ? kMostRatePoints / 2 : 0;
    const PlotSeries heartRate =
        thinned({"heart rate", kTraceColour, false, {}, {}}, middles, beatsPerMinute, columns);
    PlotSeries implausible{"implausible", kPeakColour, false, {}, {}, SeriesStyle::Points};
    for (const ImplausibleInterval& interval : data.intervals.implausible) {
        if (!(interval.lengthSeconds > 0)) continue;
        implausible.x.push_back(interval.startSeconds + interval.lengthSeconds / 2);
        implausible.y.push_back(60.0 / interval.lengthSeconds);
    }
    LinePlot plot;
    plot.title = "Heart rate over the recording, channel " + data.channelName;
    plot.xLabel = "time in the recording [s]";
    plot.yLabel = "heart rate [beats/min]";
    plot.series = {heartRate, implausible};
    plot.bands.push_back(implausibleBands(data.intervals, ""));
    return renderLinePlot(plot, kFigureWidth, kFigureHeight);
}

std::string averageBeatFigure(const EcgViewData& data, const WindowSpread& spread, int pre) {
    std::vector<double> milliseconds, above, below;
    for (std::size_t i = 0; i < spread.mean.size(); ++i) {
        milliseconds.push_back((static_cast<double>(i) - pre) * 1000.0 / data.samplingFrequency);
        above.push_back(spread.mean[i] + spread.standardDeviation[i]);
        below.push_back(spread.mean[i] - spread.standardDeviation[i]);
    }
    LinePlot plot;
    plot.title =
        "Average of " + std::to_string(spread.windows) + " beats, channel " + data.channelName;
    plot.xLabel = "time from the R-peak [ms]";
    plot.yLabel = "ECG from the beat's mean" + unitSuffix(data);
    plot.hasMarker = true;
    plot.markerLabel = "R-peak";
    plot.series = {
        thinned({"\xC2\xB1 1 SD", kSpreadColour, true, {}, {}}, milliseconds, above, kTraceColumns),
        thinned({"", kSpreadColour, true, {}, {}}, milliseconds, below, kTraceColumns),
        thinned({"mean", kTraceColour, false, {}, {}}, milliseconds, spread.mean, kTraceColumns)};
    return renderLinePlot(plot, kFigureWidth, kFigureHeight);
}

std::string polarityText(int polarity) {
    return polarity > 0 ? "R points up" : "R points down (the lead is inverted)";
}

}  // namespace

EcgStretch chooseEcgStretch(const EcgViewData& data) {
    EcgStretch stretch;
    const double rate = data.samplingFrequency;
    if (data.sampleCount <= 0 || !(rate > 0)) return stretch;
    const double seconds = data.stretchSeconds > 0 ? data.stretchSeconds : kDefaultStretchSeconds;
    stretch.sampleCount = std::max<int64_t>(1, samplesIn(seconds, rate, data.sampleCount));
    double start = 0.0;
    if (data.stretchStartSeconds >= 0)
        start = data.stretchStartSeconds;
    else if (!data.intervals.implausible.empty())
        start = data.intervals.implausible.front().startSeconds - kStretchLeadSeconds;
    stretch.firstSample =
        std::min(samplesIn(start, rate, data.sampleCount), data.sampleCount - stretch.sampleCount);
    return stretch;
}

std::vector<ReportSection> ecgSections(const EcgViewData& data) {
    std::vector<ReportSection> sections;
    if (data.samples == nullptr || data.sampleCount <= 0 || !(data.samplingFrequency > 0))
        return sections;
    sections.push_back({"ECG with the detected R-peaks", {traceFigure(data)}});
    if (data.peaks.size() >= 2) sections.push_back({"Heart rate", {heartRateFigure(data)}});
    const auto pre = static_cast<int>(std::lround(kBeatBeforeSeconds * data.samplingFrequency));
    const auto post = static_cast<int>(std::lround(kBeatAfterSeconds * data.samplingFrequency));
    const WindowSpread spread = windowSpread(data.samples, data.sampleCount, data.peaks, pre, post);
    if (spread.windows > 0)
        sections.push_back({"Average beat", {averageBeatFigure(data, spread, pre)}});
    return sections;
}

bool writeDetectionReport(const std::string& path, const std::string& recordingPath,
                          const EcgViewData& data, std::string& error) {
    const IntervalReport& intervals = data.intervals;
    ReportPage page;
    page.title = "R-peak detection report";
    page.status = data.peaks.empty() ? "No heartbeats were found in the channel."
                                     : std::to_string(data.peaks.size()) + " heartbeats found, " +
                                           std::to_string(intervals.implausible.size()) +
                                           " implausible intervals.";
    page.facts = {{"Recording", recordingPath},
                  {"Channel", data.channelName},
                  {"Sampling frequency", formatNumber(data.samplingFrequency, 3) + " Hz"},
                  {"Beats found", std::to_string(data.peaks.size())}};
    if (data.polarity != 0) page.facts.push_back({"Polarity", polarityText(data.polarity)});
    if (data.peaks.size() >= 2)
        page.facts.push_back({"Heart rate", formatNumber(intervals.meanRate, 1) +
                                                " beats/min on average, from " +
                                                formatNumber(intervals.lowestRate, 1) + " to " +
                                                formatNumber(intervals.highestRate, 1)});
    page.facts.push_back({"Implausible intervals", std::to_string(intervals.implausible.size())});
    if (!intervals.implausible.empty())
        page.facts.push_back(
            {"First implausible interval",
             "at " + formatNumber(intervals.implausible.front().startSeconds, 3) + " s, " +
                 formatNumber(intervals.implausible.front().lengthSeconds, 3) + " s long"});
    page.notes = {
        "Implausible intervals are those a heart is unlikely to have produced: too short, too "
        "long or too different from their neighbours. Each is shaded on the ECG and marked on "
        "the heart rate, so that a missed or a false beat can be checked.",
        "Average beat: the mean of the windows from " + formatNumber(kBeatBeforeSeconds, 1) +
            " s before to " + formatNumber(kBeatAfterSeconds, 1) +
            " s after every R-peak that lie wholly inside the recording, each taken from its own "
            "mean, with the standard deviation around it."};
    page.sections = ecgSections(data);
    return writeReportPage(path, page, error);
}
