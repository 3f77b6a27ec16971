#pragma once

// The report page: one self-contained HTML file (inline styles and SVG, no
// scripts, no external resources) that is also well-formed XML, so that a
// strict parser can check it.

#include <string>
#include <utility>
#include <vector>

struct ReportSection {
    std::string heading;
    std::vector<std::string> figures;  // <svg> elements
};

struct ReportPage {
    std::string title;
    std::string status;                                      // one line: how the run ended
    std::vector<std::pair<std::string, std::string>> facts;  // settings and files
    std::vector<std::string> notes;
    std::vector<ReportSection> sections;
};

std::string renderReportPage(const ReportPage& page);

// The rendered page written to path (replacing the file). False with error
// when the file cannot be created or written.
bool writeReportPage(const std::string& path, const ReportPage& page, std::string& error);
