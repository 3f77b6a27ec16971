#pragma once

// Where the plug-in's reports go: log lines on standard output (and
// optionally a file), message boxes on standard error between rulers, and,
// while the busy indicator is on and standard error is a terminal, a live
// status line with a spinner, the elapsed time and the latest log line.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class ConsoleLog {
public:
    // statusLine: draw the live status line (only sensible when standard
    // error is a terminal).
    ConsoleLog(std::FILE* logOut, std::FILE* messageOut, bool statusLine);
    ~ConsoleLog();
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    // Also writes every log line to this file; false when it cannot be created.
    bool openLogFile(const std::string& path);

    void logLine(const std::string& text);
    void messageBox(const std::string& text);
    // A note of the host itself on the message stream ("LumatraZT: ...").
    void note(const std::string& text);
    void setBusy(bool busy);
    void flush();

private:
    void clearStatusLocked();
    void drawStatusLocked();
    void spin();

    std::FILE* logOut_;
    std::FILE* messageOut_;
    std::FILE* logFile_ = nullptr;
    bool statusLineEnabled_;
    std::mutex mutex_;
    std::string latestLine_;
    bool statusShown_ = false;
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopping_{false};
    std::chrono::steady_clock::time_point busySince_;
    unsigned spinnerStep_ = 0;
    std::thread spinner_;
};
