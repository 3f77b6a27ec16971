#pragma once

// Line plots as self-contained SVG text: axes with ticks and units, a legend,
// an optional vertical marker (the trigger) and shaded stretches of the x
// axis. No plotting library needed.

#include <string>
#include <utility>
#include <vector>

enum class SeriesStyle { Line, Points };

struct PlotSeries {
    std::string label;   // empty: no legend entry
    std::string colour;  // any SVG colour, such as "#1f77b4"
    bool dashed = false;
    std::vector<double> x;
    std::vector<double> y;
    SeriesStyle style = SeriesStyle::Line;  // Points: a dot at every point, no line
};

// Stretches of the x axis shaded over the plot's whole height, such as
// intervals to look at; each stays visible however narrow it is.
struct PlotBands {
    std::string label;  // empty: no legend entry
    std::string colour;
    std::vector<std::pair<double, double>> spans;  // from, to, in x units
};

struct LinePlot {
    std::string title;
    std::string xLabel;  // with its unit, such as "time from trigger [ms]"
    std::string yLabel;
    std::vector<PlotSeries> series;
    bool hasMarker = false;
    double markerX = 0.0;
    std::string markerLabel;
    std::vector<PlotBands> bands{};  // drawn behind the curves
};

// The plot as an <svg> element of the given size in pixels.
std::string renderLinePlot(const LinePlot& plot, int width, int height);

// Text made safe for XML character data and attribute values.
std::string escapeXml(const std::string& text);

// Tick positions between low and high at a "nice" step (1, 2 or 5 times a
// power of ten), about targetCount of them.
std::vector<double> niceTicks(double low, double high, int targetCount);
