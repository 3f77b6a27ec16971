#include "hostprogram/host/console_log.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char* kRuler =
    "======================== message from the plug-in ========================";
constexpr const char* kRulerEnd =
    "==========================================================================";

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
    return 80;
}

}  // namespace

ConsoleLog::ConsoleLog(std::FILE* logOut, std::FILE* messageOut, bool statusLine)
    : logOut_(logOut), messageOut_(messageOut), statusLineEnabled_(statusLine) {
    if (statusLineEnabled_) spinner_ = std::thread(&ConsoleLog::spin, this);
}

ConsoleLog::~ConsoleLog() {
    stopping_ = true;
    if (spinner_.joinable()) spinner_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    clearStatusLocked();
    if (logFile_) std::fclose(logFile_);
}

bool ConsoleLog::openLogFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    logFile_ = std::fopen(path.c_str(), "w");
    return logFile_ != nullptr;
}

void ConsoleLog::logLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearStatusLocked();
    std::fprintf(logOut_, "%s\n", text.c_str());
    std::fflush(logOut_);
    if (logFile_) {
        std::fprintf(logFile_, "%s\n", text.c_str());
        std::fflush(logFile_);
    }
    if (text.find_first_not_of(' ') != std::string::npos) latestLine_ = text;
}

void ConsoleLog::messageBox(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearStatusLocked();
    std::fflush(logOut_);
    std::fprintf(messageOut_, "\n%s\n%s\n%s\n\n", kRuler, text.c_str(), kRulerEnd);
    std::fflush(messageOut_);
    if (logFile_) {
        std::fprintf(logFile_, "[message] %s\n", text.c_str());
        std::fflush(logFile_);
    }
}

void ConsoleLog::note(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearStatusLocked();
    std::fflush(logOut_);
    std::fprintf(messageOut_, "LumatraZT: %s\n", text.c_str());
    std::fflush(messageOut_);
}

void ConsoleLog::setBusy(bool busy) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy && !busy_) busySince_ = std::chrono::steady_clock::now();
    busy_ = busy;
    if (!busy) clearStatusLocked();
}

void ConsoleLog::flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fflush(logOut_);
    std::fflush(messageOut_);
}

void ConsoleLog::clearStatusLocked() {
    if (!statusShown_) return;
    std::fputs("\r\033[K", messageOut_);
    std::fflush(messageOut_);
    statusShown_ = false;
}

void ConsoleLog::drawStatusLocked() {
    static const char kSpinner[] = {'|', '/', '-', '\\'};
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - busySince_).count();
    char head[64];
    std::snprintf(head, sizeof head, "%c %6.1f s  ", kSpinner[spinnerStep_++ % 4], elapsed);
    std::string line = head + latestLine_;
    std::size_t width = static_cast<std::size_t>(terminalColumns(messageOut_) - 1);
    if (line.size() > width) line.resize(width);
    std::fprintf(messageOut_, "\r\033[K%s", line.c_str());
    std::fflush(messageOut_);
    statusShown_ = true;
}

void ConsoleLog::spin() {
    while (!stopping_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (busy_) drawStatusLocked();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
