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

// Where data coordinates land in the picture: the data's range (with a little
// air above and below the curves) mapped onto the area inside the margins.
struct PlotFrame {
    Range x, y;
    int width = 0, height = 0;  // of the whole picture
    double plotWidth = 0, plotHeight = 0;
    double px(double value) const { return kLeft + (value - x.low) / (x.high - x.low) * plotWidth; }
    double py(double value) const {
        return kTop + (y.high - value) / (y.high - y.low) * plotHeight;
    }
};

PlotFrame plotFrame(const LinePlot& plot, int width, int height) {
    PlotFrame frame;
    for (const PlotSeries& series : plot.series) {
        for (double x : series.x) frame.x.include(x);
        for (double y : series.y) frame.y.include(y);
    }
    frame.x.settle();
    frame.y.settle();
    double yPad = (frame.y.high - frame.y.low) * 0.05;
    frame.y.low -= yPad;
    frame.y.high += yPad;
    frame.width = width;
    frame.height = height;
    frame.plotWidth = width - kLeft - kRight;
    frame.plotHeight = height - kTop - kBottom;
    return frame;
}

// The picture's element, its title, the clip of the plot area and the white ground.
void writeOpening(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame,
                  const std::string& clipId) {
    svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << frame.width << "\" height=\""
        << frame.height << "\" viewBox=\"0 0 " << frame.width << " " << frame.height
        << "\" font-family=\"sans-serif\" font-size=\"12\" role=\"img\">\n";
    svg << "<title>" << escapeXml(plot.title) << "</title>\n";
    svg << "<defs><clipPath id=\"" << clipId << "\"><rect x=\"" << number(kLeft) << "\" y=\""
        << number(kTop) << "\" width=\"" << number(frame.plotWidth) << "\" height=\""
        << number(frame.plotHeight) << "\"/></clipPath></defs>\n";
    svg << "<rect x=\"0\" y=\"0\" width=\"" << frame.width << "\" height=\"" << frame.height
        << "\" fill=\"white\"/>\n";
    svg << "<text x=\"" << number(kLeft) << "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">"
        << escapeXml(plot.title) << "</text>\n";
}

// Grid lines, the plot area's border, tick labels and the axis labels.
void writeAxes(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame) {
    const double plotWidth = frame.plotWidth, plotHeight = frame.plotHeight;
    svg << "<g class=\"axes\" stroke=\"#cccccc\" stroke-width=\"1\">\n";
    std::vector<double> xTicks = niceTicks(frame.x.low, frame.x.high, 8);
    std::vector<double> yTicks = niceTicks(frame.y.low, frame.y.high, 6);
    for (double x : xTicks)
        svg << "<line x1=\"" << number(frame.px(x)) << "\" y1=\"" << number(kTop) << "\" x2=\""
            << number(frame.px(x)) << "\" y2=\"" << number(kTop + plotHeight) << "\"/>\n";
    for (double y : yTicks)
        svg << "<line x1=\"" << number(kLeft) << "\" y1=\"" << number(frame.py(y)) << "\" x2=\""
            << number(kLeft + plotWidth) << "\" y2=\"" << number(frame.py(y)) << "\"/>\n";
    svg << "</g>\n";
    svg << "<rect x=\"" << number(kLeft) << "\" y=\"" << number(kTop) << "\" width=\""
        << number(plotWidth) << "\" height=\"" << number(plotHeight)
        << "\" fill=\"none\" stroke=\"black\"/>\n";
    const double xStep = xTicks.size() > 1 ? xTicks[1] - xTicks[0] : 1;
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1;
    for (double x : xTicks)
        svg << "<text x=\"" << number(frame.px(x)) << "\" y=\"" << number(kTop + plotHeight + 16)
            << "\" text-anchor=\"middle\">" << tickLabel(x, xStep) << "</text>\n";
    for (double y : yTicks)
        svg << "<text x=\"" << number(kLeft - 6) << "\" y=\"" << number(frame.py(y) + 4)
            << "\" text-anchor=\"end\">" << tickLabel(y, yStep) << "</text>\n";
    svg << "<text x=\"" << number(kLeft + plotWidth / 2) << "\" y=\"" << number(frame.height - 8)
        << "\" text-anchor=\"middle\">" << escapeXml(plot.xLabel) << "</text>\n";
    svg << "<text transform=\"translate(14," << number(kTop + plotHeight / 2)
        << ") rotate(-90)\" text-anchor=\"middle\">" << escapeXml(plot.yLabel) << "</text>\n";
}

// The trigger's vertical line, when it falls inside the plotted range.
void writeMarker(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame) {
    if (!plot.hasMarker || plot.markerX < frame.x.low || plot.markerX > frame.x.high) return;
    const double x = frame.px(plot.markerX);
    svg << "<line class=\"marker\" x1=\"" << number(x) << "\" y1=\"" << number(kTop) << "\" x2=\""
        << number(x) << "\" y2=\"" << number(kTop + frame.plotHeight)
        << "\" stroke=\"#888888\" stroke-dasharray=\"2,3\"/>\n";
    svg << "<text x=\"" << number(x + 4) << "\" y=\"" << number(kTop + 12) << "\" fill=\"#555555\">"
        << escapeXml(plot.markerLabel) << "</text>\n";
}

// Shaded stretches, held to the plot area; at least kNarrowestBand wide, so
// that a short interval on a long axis still shows.
void writeBands(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame) {
    constexpr double kNarrowestBand = 1.5;
    for (const PlotBands& bands : plot.bands) {
        svg << "<g class=\"bands\" fill=\"" << escapeXml(bands.colour) << "\">\n";
        for (const auto& [from, to] : bands.spans) {
            const double low = std::max(std::min(from, to), frame.x.low);
            const double high = std::min(std::max(from, to), frame.x.high);
            if (!(low <= high)) continue;
            const double width = std::max(kNarrowestBand, frame.px(high) - frame.px(low));
            const double left = std::min(frame.px(low), kLeft + frame.plotWidth - width);
            svg << "<rect x=\"" << number(left) << "\" y=\"" << number(kTop) << "\" width=\""
                << number(width) << "\" height=\"" << number(frame.plotHeight) << "\"/>\n";
        }
        svg << "</g>\n";
    }
}

void writeLine(std::ostream& svg, const PlotSeries& series, const PlotFrame& frame) {
    svg << "<path class=\"series\" stroke=\"" << escapeXml(series.colour) << "\""
        << (series.dashed ? " stroke-dasharray=\"5,3\"" : "") << " d=\"";
    bool penDown = false;
    const std::size_t count = std::min(series.x.size(), series.y.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) {
            penDown = false;
            continue;
        }
        svg << (penDown ? " L" : " M") << number(frame.px(series.x[i])) << ","
            << number(frame.py(series.y[i]));
        penDown = true;
    }
    svg << "\"/>\n";
}

void writePoints(std::ostream& svg, const PlotSeries& series, const PlotFrame& frame) {
    svg << "<g class=\"points\" fill=\"" << escapeXml(series.colour) << "\" stroke=\"none\">\n";
    const std::size_t count = std::min(series.x.size(), series.y.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(series.x[i]) || !std::isfinite(series.y[i])) continue;
        svg << "<circle cx=\"" << number(frame.px(series.x[i])) << "\" cy=\""
            << number(frame.py(series.y[i])) << "\" r=\"3\"/>\n";
    }
    svg << "</g>\n";
}

// Curves, clipped to the plot area; points that are not numbers break a line.
void writeCurves(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame,
                 const std::string& clipId) {
    svg << "<g clip-path=\"url(#" << clipId << ")\" fill=\"none\" stroke-width=\"1.2\">\n";
    for (const PlotSeries& series : plot.series) {
        if (series.style == SeriesStyle::Points)
            writePoints(svg, series, frame);
        else
            writeLine(svg, series, frame);
    }
    svg << "</g>\n";
}

// The legend, to the right of the plot area.
void writeLegend(std::ostream& svg, const LinePlot& plot, const PlotFrame& frame) {
    svg << "<g class=\"legend\">\n";
    double legendY = kTop + 8;
    const double legendX = kLeft + frame.plotWidth + 12;
    auto writeLabel = [&](const std::string& label) {
        svg << "<text x=\"" << number(legendX + 28) << "\" y=\"" << number(legendY + 4) << "\">"
            << escapeXml(label) << "</text>\n";
        legendY += 18;
    };
    for (const PlotSeries& series : plot.series) {
        if (series.label.empty()) continue;
        if (series.style == SeriesStyle::Points)
            svg << "<circle cx=\"" << number(legendX + 11) << "\" cy=\"" << number(legendY)
                << "\" r=\"3\" fill=\"" << escapeXml(series.colour) << "\"/>\n";
        else
            svg << "<line x1=\"" << number(legendX) << "\" y1=\"" << number(legendY) << "\" x2=\""
                << number(legendX + 22) << "\" y2=\"" << number(legendY) << "\" stroke=\""
                << escapeXml(series.colour) << "\" stroke-width=\"2\""
                << (series.dashed ? " stroke-dasharray=\"5,3\"" : "") << "/>\n";
        writeLabel(series.label);
    }
    for (const PlotBands& bands : plot.bands) {
        if (bands.label.empty()) continue;
        svg << "<rect x=\"" << number(legendX) << "\" y=\"" << number(legendY - 5)
            << "\" width=\"22\" height=\"10\" fill=\"" << escapeXml(bands.colour) << "\"/>\n";
        writeLabel(bands.label);
    }
    svg << "</g>\n";
}

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
    const PlotFrame frame = plotFrame(plot, width, height);
    // Every plot of a page needs its own clip name.
    static int plotCounter = 0;
    const std::string clipId = "plotarea" + std::to_string(++plotCounter);
    std::ostringstream svg;
    writeOpening(svg, plot, frame, clipId);
    writeAxes(svg, plot, frame);
    writeBands(svg, plot, frame);
    writeMarker(svg, plot, frame);
    writeCurves(svg, plot, frame, clipId);
    writeLegend(svg, plot, frame);
    svg << "</svg>\n";
    return svg.str();
}
