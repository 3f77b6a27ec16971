// The report's plots and page: well-formed, with axes, units, legend and one
// curve per series, and text that cannot break the markup.

#include <gtest/gtest.h>

#include <cmath>

#include "hostprogram/report/report_data.h"
#include "hostprogram/report/report_html.h"
#include "hostprogram/report/svg_plot.h"
#include "test_files.h"

namespace {

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

// The page is checked by a strict parser, so that its plots render in a
// browser as they are written.
TEST(ReportPage, PlotsHaveAxesLegendAndCurvesInsideAndThePageIsWellFormed) {
    const std::string svg = renderLinePlot(examplePlot(), 800, 300);
    EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
    EXPECT_EQ(countOf(svg, "class=\"series\""), 2u);
    EXPECT_NE(svg.find(">time from trigger [ms]<"), std::string::npos);
    EXPECT_NE(svg.find(">amplitude [\xC2\xB5V]<"), std::string::npos);
    EXPECT_NE(svg.find("class=\"legend\""), std::string::npos);
    EXPECT_NE(svg.find(">after &quot;corrected&quot;<"), std::string::npos);
    EXPECT_NE(svg.find("Average &lt;window&gt; &amp; more"), std::string::npos);
    EXPECT_NE(svg.find("class=\"marker\""), std::string::npos);
    EXPECT_NE(svg.find(">-100<"), std::string::npos);  // a tick at the data's start
    int points = 0;
    for (std::size_t at = svg.find(" d=\""); at != std::string::npos;
         at = svg.find(" d=\"", at + 1)) {
        std::istringstream commands(svg.substr(at + 4, svg.find('"', at + 4) - at - 4));
        std::string command;
        while (commands >> command) {
            double x = 0, y = 0;
            ASSERT_EQ(std::sscanf(command.c_str() + 1, "%lf,%lf", &x, &y), 2) << command;
            EXPECT_TRUE(x >= 0 && x <= 800 && y >= 0 && y <= 300) << command;
            ++points;
        }
    }
    EXPECT_EQ(points, 8);

    ReportPage page;
    page.title = "Report <1>";
    page.status = "The run completed & the output was corrected.";
    page.facts = {{"Input", "a&b.ctc"}, {"Condition", "2: R-peaks"}};
    page.notes = {"note with <angle> brackets and a control character \x01"};
    page.sections.push_back(ReportSection{"Channel 1", {svg, svg}});
    const std::string html = renderReportPage(page);
    TemporaryFolder folder;
    const std::string path = folder.file("report.html");
    std::ofstream(path) << html;
    EXPECT_TRUE(isWellFormedXml(path));
    EXPECT_EQ(countOf(html, "<svg "), 2u);
    EXPECT_EQ(countOf(html, "<section>"), 1u);
    // Nothing is fetched when the file is opened.
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos);
    EXPECT_EQ(html.find("href="), std::string::npos);
}

TEST(ReportData, WindowsAndTriggersAsThePluginPlacesThem) {
    Protocol protocol;
    protocol.timeUnit = TimeUnit::kMicroseconds;
    protocol.conditions.push_back(ProtocolCondition{"c", {1500000, 999}, {1500000, 999}});
    EXPECT_EQ(triggerSamples(protocol, 0, 1000.0f), (std::vector<int64_t>{1500, 0}));
    protocol.timeUnit = TimeUnit::kSamples;
    EXPECT_EQ(triggerSamples(protocol, 0, 1000.0f), (std::vector<int64_t>{1500000, 999}));
    const std::vector<float> channel = {0, 1, 2, 3, 4, 5, 6, 7};
    // Triggers 1 and 6 fit with pre 1, post 1; 0 and 7 do not.
    EXPECT_EQ(averageWindow(channel, {0, 1, 6, 7}, 1, 1), (std::vector<double>{2.5, 3.5, 4.5}));
    EXPECT_TRUE(averageWindow(channel, {0, 7}, 1, 1).empty());
}

}  // namespace
