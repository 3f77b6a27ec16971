#pragma once

// What the run shows the user through the host: log lines, message boxes and
// the busy indicator. Every line of the run's own starts with the prompt
// sign "// KORUSuite>".

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

// The host's busy indicator. It must be off during every dialog and whenever
// a run ends, whichever way it ends; the run tracks it so that every exit can
// turn it off without telling the host twice.
struct BusyIndicator {
    bool showing = false;

    void on();
    void off();
    // Off, if it is showing; nothing otherwise.
    void offIfShowing();
};
