#pragma once

// What the module shows the user through the host: log lines, message boxes
// and a repaint of the host's window. Every line of the module's own starts
// with the prompt sign "// KORUSuite>".

#include <string>

// Appends one line to the host's log.
void logLine(const std::string& text);

// Appends one line formatted like printf ("%i", "%f", "%s").
#if defined(__GNUC__)
void logFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
#else
void logFormatted(const char* format, ...);
#endif

void showMessageBox(const std::string& text);

void repaintHost();
