#include "hostprogram/report/report_writer.h"

#include <algorithm>
#include <cmath>

#include "hostprogram/recordings/ctc_reader.h"
#include "hostprogram/report/report_data.h"
#include "hostprogram/report/report_html.h"
#include "hostprogram/report/svg_plot.h"
#include "run/dialogue_bounds.h"
#include "run/run_paths.h"
#include "run/sample_conversions.h"

namespace {

constexpr const char* kBeforeColour = "#d62728";
constexpr const char* kAfterColour = "#1f77b4";
constexpr const char* kCleanColour = "#2ca02c";
constexpr int kFigureWidth = 900, kFigureHeight = 300;

std::string formatNumber(double value, int decimals) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

PlotSeries windowSeries(const char* label, const char* colour, bool dashed,
                        const std::vector<double>& average, int pre, float rate) {
    PlotSeries series{label, colour, dashed, {}, average};
    for (std::size_t i = 0; i < average.size(); ++i)
        series.x.push_back((static_cast<double>(i) - pre) * 1000.0 / rate);
    return series;
}

PlotSeries traceSeries(const char* label, const char* colour, bool dashed,
                       const std::vector<float>& channel, int64_t first, int64_t last, float rate) {
    PlotSeries series{label, colour, dashed, {}, {}};
    for (int64_t s = first; s <= last; ++s) {
        series.x.push_back(static_cast<double>(s) / rate);
        series.y.push_back(channel[s]);
    }
    return series;
}

bool readChannels(const std::string& path, const std::vector<int>& channels, CtcHeader& header,
                  std::vector<std::vector<float>>& samples, std::string& error) {
    return readCtcHeader(path, header, error) &&
           readCtcChannels(path, header, channels, samples, error);
}

}  // namespace

const char* describeExitStatus(ExitStatus status) {
    switch (status) {
        case kExitCompleted:
            return "The run completed: the output file was corrected.";
        case kExitCancelled:
            return "The run was cancelled: the output file was not corrected.";
        case kExitRefused:
            return "The run was refused: the output file was not corrected.";
        case kExitUsage:
            return "The command line could not be understood.";
        default:
            return "The run failed: the output file was not corrected.";
    }
}

bool writeRunReport(const ReportSettings& settings, const RunRecord& record, std::string& error,
                    const ReportExtras& extras) {
    const HostSession& session = record.session;
    if (session.inputPath.empty()) {
        error = "the run ended before an input file was chosen";
        return false;
    }
    if (!session.protocolApplied || session.condition < 1 ||
        session.condition > static_cast<int>(session.protocol.conditions.size())) {
        error = "the run ended before a protocol condition was chosen";
        return false;
    }
    const std::string outputPath = outputPathFor(session.inputPath);
    CtcHeader header, outputHeader, cleanHeader;
    if (!readCtcHeader(session.inputPath, header, error)) return false;
    std::vector<int> channels;
    for (int channel : settings.channels) channels.push_back(channel - 1);
    if (channels.empty())
        for (uint32_t c = 0; c < std::min<uint32_t>(4, header.nrOfChannels); ++c)
            channels.push_back(static_cast<int>(c));
    std::vector<std::vector<float>> before, after, clean;
    if (!readChannels(session.inputPath, channels, header, before, error) ||
        !readChannels(outputPath, channels, outputHeader, after, error))
        return false;
    if (!extras.cleanPath.empty() &&
        !readChannels(extras.cleanPath, channels, cleanHeader, clean, error))
        return false;

    for (const CtcHeader* other : {&outputHeader, &cleanHeader}) {
        if (other == &cleanHeader && extras.cleanPath.empty()) continue;
        // The clean signal may lack channels without artifact (the demo's ECG).
        if (other->nrOfSamples != header.nrOfSamples ||
            (other == &outputHeader && other->nrOfChannels != header.nrOfChannels)) {
            error = "the recordings to compare differ in their channels or samples";
            return false;
        }
    }
    if (header.nrOfSamples == 0) {
        error = session.inputPath + ": the recording has no samples";
        return false;
    }
    const float rate = header.samplingFrequency;
    if (!(rate > 0)) {
        error = session.inputPath + ": the sampling frequency is not positive";
        return false;
    }
    const int preMs =
        session.preMilliseconds >= 0 ? session.preMilliseconds : kDefaultPreMilliseconds;
    const int postMs =
        session.postMilliseconds >= 0 ? session.postMilliseconds : kDefaultPostMilliseconds;
    int32_t pre = 0, post = 0;
    if (!windowSamplesFromMilliseconds(preMs, rate, &pre) ||
        !windowSamplesFromMilliseconds(postMs, rate, &post)) {
        error = "the window does not cover a valid number of samples at this sampling frequency";
        return false;
    }
    const std::vector<int64_t> triggers =
        triggerSamples(session.protocol, session.condition - 1, rate);
    if (triggers.empty()) {
        error = "the chosen condition has no occurrences";
        return false;
    }
    if (settings.occurrence > static_cast<int>(triggers.size())) {
        error = "--report-occurrence " + std::to_string(settings.occurrence) + " is beyond the " +
                std::to_string(triggers.size()) + " occurrences";
        return false;
    }
    const std::size_t occurrence = settings.occurrence > 0
                                       ? static_cast<std::size_t>(settings.occurrence - 1)
                                       : triggers.size() / 2;
    const int64_t sampleCount = static_cast<int64_t>(header.nrOfSamples);
    const int64_t halfTrace = static_cast<int64_t>(settings.traceSeconds * rate / 2);
    const int64_t centre = std::clamp<int64_t>(triggers[occurrence], 0, sampleCount - 1);
    const int64_t first = std::max<int64_t>(0, centre - halfTrace);
    const int64_t last = std::min<int64_t>(sampleCount - 1, centre + halfTrace);

    ReportPage page;
    page.title = "Artifact removal report";
    page.status = describeExitStatus(record.status);
    const ProtocolCondition& condition = session.protocol.conditions[session.condition - 1];
    page.facts = {
        {"Input", extras.inputName.empty() ? session.inputPath : extras.inputName},
        {"Output", extras.outputName.empty() ? outputPath : extras.outputName},
        {"Protocol", session.protocolPath},
        {"Condition", std::to_string(session.condition) + ": " + condition.name + " (" +
                          std::to_string(triggers.size()) + " occurrences)"},
        {"Window", std::to_string(preMs) + " ms before, " + std::to_string(postMs) +
                       " ms after each trigger (" + std::to_string(pre) + " + " +
                       std::to_string(post) + " + 1 samples)"},
        {"Artifacts per segment", std::to_string(session.artifactsPerSegment)},
        {"Components removed", std::to_string(session.componentsToKeep)},
        {"Sampling frequency", formatNumber(rate, 3) + " Hz"},
    };
    page.facts.insert(page.facts.end(), extras.facts.begin(), extras.facts.end());
    page.notes.push_back(
        "Average window: the mean of all windows that lie wholly inside the recording, time "
        "from the trigger. Trace: " +
        formatNumber(static_cast<double>(last - first + 1) / rate, 1) + " s around occurrence " +
        std::to_string(occurrence + 1) + ".");

    for (std::size_t index = 0; index < channels.size(); ++index) {
        ReportSection section;
        const std::size_t channel = static_cast<std::size_t>(channels[index]);
        const std::string channelName = channel < extras.channelNames.size()
                                            ? extras.channelNames[channel]
                                            : std::to_string(channel + 1);
        section.heading = "Channel " + channelName;
        LinePlot average;
        average.title = "Average artifact window, channel " + channelName;
        average.xLabel = "time from trigger [ms]";
        average.yLabel = extras.amplitudeLabel;
        average.hasMarker = true;
        average.markerLabel = "trigger";
        // The corrected curve last, so that it lies on top of the clean one.
        average.series.push_back(windowSeries("before", kBeforeColour, false,
                                              averageWindow(before[index], triggers, pre, post),
                                              pre, rate));
        if (!clean.empty())
            average.series.push_back(windowSeries("clean (true)", kCleanColour, true,
                                                  averageWindow(clean[index], triggers, pre, post),
                                                  pre, rate));
        average.series.push_back(windowSeries("after", kAfterColour, false,
                                              averageWindow(after[index], triggers, pre, post), pre,
                                              rate));
        section.figures.push_back(renderLinePlot(average, kFigureWidth, kFigureHeight));

        LinePlot trace;
        trace.title = "Trace around occurrence " + std::to_string(occurrence + 1) + ", channel " +
                      channelName;
        trace.xLabel = "time in the recording [s]";
        trace.yLabel = extras.amplitudeLabel;
        trace.hasMarker = true;
        trace.markerX = static_cast<double>(triggers[occurrence]) / rate;
        trace.markerLabel = "occurrence " + std::to_string(occurrence + 1);
        trace.series.push_back(
            traceSeries("before", kBeforeColour, false, before[index], first, last, rate));
        if (!clean.empty())
            trace.series.push_back(
                traceSeries("clean (true)", kCleanColour, true, clean[index], first, last, rate));
        trace.series.push_back(
            traceSeries("after", kAfterColour, false, after[index], first, last, rate));
        section.figures.push_back(renderLinePlot(trace, kFigureWidth, kFigureHeight));
        page.sections.push_back(section);
    }
    page.sections.insert(page.sections.end(), extras.sections.begin(), extras.sections.end());

    return writeReportPage(settings.path, page, error);
}
