#include "hostprogram/detection/interval_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kShortestInterval = 0.3;  // s: 200/min
constexpr double kLongestInterval = 2.0;   // s: 30/min
constexpr double kLargestChange = 0.3;     // relative to the neighbours' median

const char* problemText(IntervalProblem problem) {
    switch (problem) {
        case IntervalProblem::TooShort:
            return "shorter than 0.3 s";
        case IntervalProblem::TooLong:
            return "longer than 2 s";
        case IntervalProblem::SuddenChange:
            return "differs by more than 30% from its neighbours";
    }
    return "";
}

}  // namespace

IntervalReport reportIntervals(const std::vector<int64_t>& peaks, double samplingFrequency) {
    IntervalReport report;
    report.beats = static_cast<int64_t>(peaks.size());
    if (peaks.size() < 2 || !(samplingFrequency > 0.0)) return report;
    std::vector<double> intervals;
    for (std::size_t k = 1; k < peaks.size(); ++k)
        intervals.push_back(static_cast<double>(peaks[k] - peaks[k - 1]) / samplingFrequency);
    const double span = static_cast<double>(peaks.back() - peaks.front()) / samplingFrequency;
    report.meanRate = 60.0 * static_cast<double>(intervals.size()) / span;
    const auto [shortest, longest] = std::minmax_element(intervals.begin(), intervals.end());
    report.highestRate = 60.0 / *shortest;
    report.lowestRate = 60.0 / *longest;
    for (std::size_t k = 0; k < intervals.size(); ++k) {
        ImplausibleInterval found{static_cast<double>(peaks[k]) / samplingFrequency, intervals[k],
                                  IntervalProblem::TooShort};
        std::vector<double> neighbours;
        for (std::size_t j = k >= 2 ? k - 2 : 0; j <= k + 2 && j < intervals.size(); ++j)
            if (j != k) neighbours.push_back(intervals[j]);
        std::sort(neighbours.begin(), neighbours.end());
        // An even count takes the mean of the middle two, so that the median
        // of two neighbours is not biased towards the longer one.
        double median = 0.0;
        if (!neighbours.empty()) {
            const std::size_t middle = neighbours.size() / 2;
            median = neighbours.size() % 2 ? neighbours[middle]
                                           : 0.5 * (neighbours[middle - 1] + neighbours[middle]);
        }
        if (intervals[k] < kShortestInterval) {
            found.problem = IntervalProblem::TooShort;
        } else if (intervals[k] > kLongestInterval) {
            found.problem = IntervalProblem::TooLong;
        } else if (median > 0.0 && std::fabs(intervals[k] - median) > kLargestChange * median) {
            found.problem = IntervalProblem::SuddenChange;
        } else {
            continue;
        }
        report.implausible.push_back(found);
    }
    return report;
}

std::string formatIntervalReport(const IntervalReport& report) {
    char line[160];
    if (report.beats < 2) {
        std::snprintf(line, sizeof line, "%lld beats found: too few for a heart rate\n",
                      static_cast<long long>(report.beats));
        return line;
    }
    std::snprintf(
        line, sizeof line,
        "%lld beats, heart rate %.1f/min (from %.1f to %.1f), %zu implausible intervals\n",
        static_cast<long long>(report.beats), report.meanRate, report.lowestRate,
        report.highestRate, report.implausible.size());
    std::string text = line;
    // A bad channel can give thousands; the first ones show where to look.
    const std::size_t listed = std::min<std::size_t>(report.implausible.size(), kListedIntervals);
    for (std::size_t k = 0; k < listed; ++k) {
        const ImplausibleInterval& interval = report.implausible[k];
        std::snprintf(line, sizeof line, "  at %.3f s: %.3f s, %s\n", interval.startSeconds,
                      interval.lengthSeconds, problemText(interval.problem));
        text += line;
    }
    if (listed < report.implausible.size()) {
        std::snprintf(line, sizeof line, "  ... and %zu more (the report, -r, marks them all)\n",
                      report.implausible.size() - listed);
        text += line;
    }
    return text;
}
