#include "hostprogram/report/report_html.h"

#include <fstream>
#include <sstream>

#include "hostprogram/report/svg_plot.h"

std::string renderReportPage(const ReportPage& page) {
    std::ostringstream html;
    html << "<!DOCTYPE html>\n"
            "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
            "<meta charset=\"utf-8\"/>\n<title>"
         << escapeXml(page.title)
         << "</title>\n<style>\n"
            "body { font-family: sans-serif; margin: 24px; color: #222222; }\n"
            "h1 { font-size: 22px; } h2 { font-size: 18px; margin-top: 28px; }\n"
            "table.facts td { padding: 2px 12px 2px 0; vertical-align: top; }\n"
            "table.facts td.key { color: #555555; }\n"
            ".status { font-weight: bold; }\n"
            "figure { margin: 8px 0; }\n"
            "</style>\n</head>\n<body>\n";
    html << "<h1>" << escapeXml(page.title) << "</h1>\n";
    html << "<p class=\"status\">" << escapeXml(page.status) << "</p>\n";
    html << "<table class=\"facts\">\n";
    for (const auto& fact : page.facts)
        html << "<tr><td class=\"key\">" << escapeXml(fact.first) << "</td><td>"
             << escapeXml(fact.second) << "</td></tr>\n";
    html << "</table>\n";
    for (const std::string& note : page.notes) html << "<p>" << escapeXml(note) << "</p>\n";
    for (const ReportSection& section : page.sections) {
        html << "<section>\n<h2>" << escapeXml(section.heading) << "</h2>\n";
        for (const std::string& figure : section.figures)
            html << "<figure>\n" << figure << "</figure>\n";
        html << "</section>\n";
    }
    html << "</body>\n</html>\n";
    return html.str();
}

bool writeReportPage(const std::string& path, const ReportPage& page, std::string& error) {
    std::ofstream file(path, std::ios::trunc);
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    file << renderReportPage(page);
    file.close();
    if (file.fail()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
