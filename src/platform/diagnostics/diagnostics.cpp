#include "diagnostics/diagnostics.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

bool DiagnosticsEnabled(const char* channel) {
    // Read once: the environment does not change under a running program.
    static const std::string wanted = [] {
        const char* value = std::getenv("VELMORA_DEBUG");
        return "," + std::string(value != nullptr ? value : "") + ",";
    }();
    return wanted.find(",all,") != std::string::npos ||
           wanted.find("," + std::string(channel) + ",") != std::string::npos;
}

void Diagnose(const char* channel, const char* format, ...) {
    if (!DiagnosticsEnabled(channel)) {
        return;
    }
    char line[1024];
    int length = std::snprintf(line, sizeof line, "velmora:%s: ", channel);
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line + length, sizeof line - static_cast<size_t>(length) - 1, format, arguments);
    va_end(arguments);
    length = static_cast<int>(std::strlen(line));
    line[length++] = '\n';
    // One write per line, so lines from several threads do not interleave.
    if (write(STDERR_FILENO, line, static_cast<size_t>(length)) < 0) {
        return;  // Nowhere left to say it.
    }
}
