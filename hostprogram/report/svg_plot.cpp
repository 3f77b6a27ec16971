#include "hostprogram/report/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

namespace {

// Margins in pixels: room for tick labels on the left and below, the title
// above and the legend on the right.
constexpr double kLeft = 64, kRight = 150, kTop = 30, kBottom = 46;

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

std::string tickLabel(double value, double step) {
    char buffer[32];
    int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    if (std::fabs(value) < step * 1e-6) value = 0;  // no "-0"
    std::snprintf(buffer, sizeof buffer, "%.*f", std::min(decimals, 6), value);
    return buffer;
}

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void include(double value) {
        if (!std::isfinite(value)) return;
        low = std::min(low, value);
        high = std::max(high, value);
    }
    void settle() {
        if (!(low <= high)) low = 0, high = 1;
        if (high - low < 1e-12) {
            double pad = std::max(1.0, std::fabs(low) * 0.1);
            low -= pad;
            high += pad;
        }
    }
};

}  // namespace

std::string escapeXml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            default:
                // XML 1.0 admits no control characters but tab and line ends.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') escaped += c;
        }
    }
    return escaped;
}

std::vector<double> niceTicks(double low, double high, int targetCount) {
    std::vector<double> ticks;
    if (!(high > low) || targetCount < 1) return ticks;
    double rough = (high - low) / targetCount;
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    // The round step nearest to the rough one, on a log scale.
    double step = power;
    for (double factor : {2.0, 5.0, 10.0})
        if (std::fabs(std::log(factor * power / rough)) < std::fabs(std::log(step / rough)))
            step = factor * power;
    for (double tick = std::ceil(low / step - 1e-9) * step; tick <= high + step * 1e-9;
         tick += step)
        ticks.push_back(tick);
    return ticks;
}

std::string renderLinePlot(const LinePlot& plot, int width, int height) {
    Range xRange, yRange;
    for (const PlotSeries& series : plot.series) {
        for (double x : series.x) xRange.include(x);
        for (double y : series.y) yRange.include(y);
    }
    xRange.settle();
    yRange.settle();
    // A little air above and below the curves.
    double yPad = (yRange.high - yRange.low) * 0.05;
    yRange.low -= yPad;
    yRange.high += yPad;

    const double plotWidth = width - kLeft - kRight, plotHeight = height - kTop - kBottom;
    auto px = [&](double x) {
        return kLeft + (x - xRange.low) / (xRange.high - xRange.low) * plotWidth;
    };
    auto py = [&](double y) {
        return kTop + (yRange.high - y) / (yRange.high - yRange.low) * plotHeight;
    };

    static int plotCounter = 0;
    const std::string clipId = "plotarea" + std::to_string(++plotCounter);
    std::ostringstream svg;
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << width << " " << height
        << "\" font-family=\"sans-serif\" font-size=\"12\" role=\"img\">\n";
    svg << "<title>" << escapeXml(plot.title) << "</title>\n";
    svg << "<defs><clipPath id=\"" << clipId << "\"><rect x=\"" << number(kLeft) << "\" y=\""
        << number(kTop) << "\" width=\"" << number(plotWidth) << "\" height=\""
        << number(plotHeight) << "\"/></clipPath></defs>\n";
    svg << "<rect x=\"0\" y=\"0\" width=\"" << width << "\" height=\"" << height
        << "\" fill=\"white\"/>\n";
    svg << "<text x=\"" << number(kLeft) << "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">"
        << escapeXml(plot.title) << "</text>\n";

    // Grid and ticks.
    svg << "<g class=\"axes\" stroke=\"#cccccc\" stroke-width=\"1\">\n";
    std::vector<double> xTicks = niceTicks(xRange.low, xRange.high, 8);
    std::vector<double> yTicks = niceTicks(yRange.low, yRange.high, 6);
    for (double x : xTicks)
        svg << "<line x1=\"" << number(px(x)) << "\" y1=\"" << number(kTop) << "\" x2=\""
            << number(px(x)) << "\" y2=\"" << number(kTop + plotHeight) << "\"/>\n";
    for (double y : yTicks)
        svg << "<line x1=\"" << number(kLeft) << "\" y1=\"" << number(py(y)) << "\" x2=\""
            << number(kLeft + plotWidth) << "\" y2=\"" << number(py(y)) << "\"/>\n";
    svg << "</g>\n";
    svg << "<rect x=\"" << number(kLeft) << "\" y=\"" << number(kTop) << "\" width=\""
        << number(plotWidth) << "\" height=\"" << number(plotHeight)
        << "\" fill=\"none\" stroke=\"black\"/>\n";
    const double xStep = xTicks.size() > 1 ? xTicks[1] - xTicks[0] : 1;
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (double x : xTicks)
        svg << "<text x=\"" << number(px(x)) << "\" y=\"" << number(kTop + plotHeight + 16)
            << "\" text-anchor=\"middle\">" << tickLabel(x, xStep) << "</text>\n";
    for (double y : yTicks)
        svg << "<text x=\"" << number(kLeft - 6) << "\" y=\"" << number(py(y) + 4)
            << "\" text-anchor=\"end\">" << tickLabel(y, yStep) << "</text>\n";
    svg << "<text x=\"" << number(kLeft + plotWidth / 2) << "\" y=\"" << number(height - 8)
        << "\" text-anchor=\"middle\">" << escapeXml(plot.xLabel) << "</text>\n";
    svg << "<text transform=\"translate(14," << number(kTop + plotHeight / 2)
        << ") rotate(-90)\" text-anchor=\"middle\">" << escapeXml(plot.yLabel) << "</text>\n";

    if (plot.hasMarker && plot.markerX >= xRange.low && plot.markerX <= xRange.high) {
        svg << "<line class=\"marker\" x1=\"" << number(px(plot.markerX)) << "\" y1=\""
            << number(kTop) << "\" x2=\"" << number(px(plot.markerX)) << "\" y2=\""
            << number(kTop + plotHeight) << "\" stroke=\"#888888\" stroke-dasharray=\"2,3\"/>\n";
        svg << "<text x=\"" << number(px(plot.markerX) + 4) << "\" y=\"" << number(kTop + 12)
            << "\" fill=\"#555555\">" << escapeXml(plot.markerLabel) << "</text>\n";
    }

    // Curves, clipped to the plot area; points that are not numbers break a line.
    svg << "<g clip-path=\"url(#" << clipId << ")\" fill=\"none\" stroke-width=\"1.2\">\n";
    for (const PlotSeries& series : plot.series) {
        svg << "<path class=\"series\" stroke=\"" << escapeXml(series.colour) << "\""
            << (series.dashed ? " stroke-dasharray=\"5,3\"" : "") << " d=\"";
        bool penDown = false;
        const std::size_t count = std::min(series.x.size(), series.y.size());
        for (std::size_t i = 0; i < count; ++i) {
            if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) {
                penDown = false;
                continue;
            }
            svg << (penDown ? " L" : " M") << number(px(series.x[i])) << ","
                << number(py(series.y[i]));
            penDown = true;
        }
        svg << "\"/>\n";
    }
    svg << "</g>\n";

    // Legend to the right of the plot area.
    svg << "<g class=\"legend\">\n";
    double legendY = kTop + 8;
    for (const PlotSeries& series : plot.series) {
        const double legendX = kLeft + plotWidth + 12;
        svg << "<line x1=\"" << number(legendX) << "\" y1=\"" << number(legendY) << "\" x2=\""
            << number(legendX + 22) << "\" y2=\"" << number(legendY) << "\" stroke=\""
            << escapeXml(series.colour) << "\" stroke-width=\"2\""
            << (series.dashed ? " stroke-dasharray=\"5,3\"" : "") << "/>\n";
        svg << "<text x=\"" << number(legendX + 28) << "\" y=\"" << number(legendY + 4) << "\">"
            << escapeXml(series.label) << "</text>\n";
        legendY += 18;
    }
    svg << "</g>\n</svg>\n";
    return svg.str();
}
