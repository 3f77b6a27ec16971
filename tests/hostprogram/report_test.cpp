// The report's plots and page: every point inside the picture, gaps where
// values are missing, text that cannot break the markup (checked by a strict
// parser), and the numbers behind the figures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "hostprogram/report/report_data.h"
#include "hostprogram/report/report_html.h"
#include "hostprogram/report/svg_plot.h"
#include "test_files.h"

namespace {

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

TEST(ReportPage, CurvesLieInsideThePictureAndThePageIsWellFormed) {
    LinePlot plot{
        "Average <window> & more", "time [ms]", "amplitude [\xC2\xB5V]", {}, true, 0.0, "trigger"};
    plot.series = {{"before", "#d62728", false, {-100, 0, 100, 200}, {1, 5, -3, 2}},
                   {"after \"corrected\"", "#1f77b4", true, {-100, 0, 100, 200}, {1, 1, 0, 1}}};
    const std::string svg = renderLinePlot(plot, 800, 300);
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

    ReportPage page{"Report <1>",
                    "completed & corrected",
                    {{"Input", "a&b.ctc"}},
                    {"<angle> brackets and a control character \x01"},
                    {}};
    page.sections.push_back(ReportSection{"Channel 1", {svg, svg}});
    const std::string html = renderReportPage(page);
    TemporaryFolder folder;
    std::ofstream(folder.file("report.html")) << html;
    EXPECT_TRUE(isWellFormedXml(folder.file("report.html")));
    // Nothing is fetched when the file is opened.
    for (const char* fetching : {"<script", "src=", "href="})
        EXPECT_EQ(html.find(fetching), std::string::npos) << fetching;
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
