// The report's plots and page: well-formed, with axes, units, legend and one
// curve per series, and text that cannot break the markup.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "hostprogram/report_data.h"
#include "hostprogram/report_html.h"
#include "hostprogram/svg_plot.h"
#include "temporary_folder.h"
#include "xml_check.h"

namespace {

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

LinePlot examplePlot() {
    LinePlot plot;
    plot.title = "Average <window> & more";
    plot.xLabel = "time from trigger [ms]";
    plot.yLabel = "amplitude [\xC2\xB5V]";
    plot.hasMarker = true;
    plot.markerLabel = "trigger";
    PlotSeries before{"before", "#d62728", false, {-100, 0, 100, 200}, {1, 5, -3, 2}};
    PlotSeries after{"after \"corrected\"", "#1f77b4", true, {-100, 0, 100, 200}, {1, 1, 0, 1}};
    plot.series = {before, after};
    return plot;
}

TEST(SvgPlot, HasAxesLabelsLegendAndOneCurvePerSeries) {
    const std::string svg = renderLinePlot(examplePlot(), 800, 300);
    EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_EQ(countOf(svg, "class=\"series\""), 2u);
    EXPECT_NE(svg.find(">time from trigger [ms]<"), std::string::npos);
    EXPECT_NE(svg.find(">amplitude [\xC2\xB5V]<"), std::string::npos);
    EXPECT_NE(svg.find("class=\"legend\""), std::string::npos);
    EXPECT_NE(svg.find(">before<"), std::string::npos);
    EXPECT_NE(svg.find(">after &quot;corrected&quot;<"), std::string::npos);
    EXPECT_NE(svg.find("Average &lt;window&gt; &amp; more"), std::string::npos);
    EXPECT_NE(svg.find("class=\"marker\""), std::string::npos);
    EXPECT_NE(svg.find(">-100<"), std::string::npos);  // a tick at the data's start
}

TEST(SvgPlot, CurvesStayInsideTheViewBox) {
    const std::string svg = renderLinePlot(examplePlot(), 800, 300);
    int points = 0;
    for (std::size_t at = svg.find(" d=\""); at != std::string::npos;
         at = svg.find(" d=\"", at + 1)) {
        const std::string path = svg.substr(at + 4, svg.find('"', at + 4) - at - 4);
        std::istringstream commands(path);
        std::string command;
        while (commands >> command) {
            double x = 0, y = 0;
            ASSERT_EQ(std::sscanf(command.c_str() + 1, "%lf,%lf", &x, &y), 2) << command;
            EXPECT_GE(x, 0);
            EXPECT_LE(x, 800);
            EXPECT_GE(y, 0);
            EXPECT_LE(y, 300);
            ++points;
        }
    }
    EXPECT_EQ(points, 8);
}

TEST(SvgPlot, GapsForMissingValuesAndFlatOrEmptyData) {
    LinePlot plot;
    plot.series.push_back(PlotSeries{"gap", "black", false, {0, 1, 2, 3}, {1, NAN, 1, 1}});
    std::string svg = renderLinePlot(plot, 400, 200);
    EXPECT_EQ(countOf(svg, " M"), 2u);  // the curve restarts after the gap
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    plot.series.clear();
    svg = renderLinePlot(plot, 400, 200);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}

TEST(SvgPlot, NiceTicksUseRoundSteps) {
    EXPECT_EQ(niceTicks(0, 10, 5), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(niceTicks(-500, 1200, 8),
              (std::vector<double>{-400, -200, 0, 200, 400, 600, 800, 1000, 1200}));
    EXPECT_TRUE(niceTicks(1, 1, 5).empty());
}

TEST(SvgPlot, EscapesMarkupAndDropsControlCharacters) {
    EXPECT_EQ(escapeXml("a<b>&\"c'\x01"), "a&lt;b&gt;&amp;&quot;c&apos;");
}

TEST(ReportPage, IsStrictlyWellFormedAndSelfContained) {
    ReportPage page;
    page.title = "Report <1>";
    page.status = "The run completed & the output was corrected.";
    page.facts = {{"Input", "a&b.ctc"}, {"Condition", "2: R-peaks"}};
    page.notes = {"note with <angle> brackets"};
    page.sections.push_back(ReportSection{
        "Channel 1",
        {renderLinePlot(examplePlot(), 800, 300), renderLinePlot(examplePlot(), 800, 300)}});
    const std::string html = renderReportPage(page);
    TemporaryFolder folder;
    const std::string path = folder.file("report.html");
    std::ofstream(path) << html;
    std::string message;
    EXPECT_TRUE(isWellFormedXml(path, message)) << message;
    EXPECT_EQ(countOf(html, "<svg "), 2u);
    EXPECT_EQ(countOf(html, "<section>"), 1u);
    // Nothing is fetched when the file is opened.
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href="), std::string::npos);
}

TEST(ReportData, WindowsAndTriggersAsThePluginPlacesThem) {
    EXPECT_EQ(windowSamples(500, 1000.0f), 500);
    EXPECT_EQ(windowSamples(1200, 256.0f), 307);  // 307.2 truncated
    Protocol protocol;
    protocol.timeUnit = TimeUnit::kMicroseconds;
    protocol.conditions.push_back(ProtocolCondition{"c", {1500000, 999}, {1500000, 999}});
    EXPECT_EQ(triggerSamples(protocol, 0, 1000.0f), (std::vector<int64_t>{1500, 0}));
    protocol.timeUnit = TimeUnit::kSamples;
    EXPECT_EQ(triggerSamples(protocol, 0, 1000.0f), (std::vector<int64_t>{1500000, 999}));
    EXPECT_TRUE(triggerSamples(protocol, 1, 1000.0f).empty());
}

TEST(ReportData, AverageWindowSkipsWindowsOutsideTheChannel) {
    const std::vector<float> channel = {0, 1, 2, 3, 4, 5, 6, 7};
    // Triggers 1 and 6 fit with pre 1, post 1; 0 and 7 do not.
    EXPECT_EQ(averageWindow(channel, {0, 1, 6, 7}, 1, 1), (std::vector<double>{2.5, 3.5, 4.5}));
    EXPECT_TRUE(averageWindow(channel, {0, 7}, 1, 1).empty());
}

}  // namespace
