#include "host/host_log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/host_api.h"

void logLine(const std::string& text) {
    HostApi.ztLogText(text.c_str());
}

void logFormatted(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::vector<char> text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    HostApi.ztLogText(text.data());
}

void showMessageBox(const std::string& text) {
    HostApi.ztMessageBox(text.c_str());
}

void repaintHost() {
    HostApi.ztUpdateActiveWindow();
}
