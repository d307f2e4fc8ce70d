// The parts of the seam that are the same on every platform: the hooks table, Print and
// PrintError.
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr std::size_t kTextSize = 2048;

// Formats into `text`; returns the length kept (an over-long text is cut, never overflows).
std::size_t FormatText(char (&text)[kTextSize], const char *format, va_list arguments) {
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    if (length < 0) return 0;
    std::size_t size = static_cast<std::size_t>(length);
    return size >= sizeof text ? sizeof text - 1 : size;
}

}  // namespace

PlatformHooks &Platform() {
    static PlatformHooks hooks = SystemPlatform();
    return hooks;
}

void Print(const char *format, ...) {
    char text[kTextSize];
    va_list arguments;
    va_start(arguments, format);
    const std::size_t size = FormatText(text, format, arguments);
    va_end(arguments);
    if (size > 0) Platform().write_console(text, size);
}

void PrintError(const char *format, ...) {
    char text[kTextSize];
    va_list arguments;
    va_start(arguments, format);
    const std::size_t size = FormatText(text, format, arguments);
    va_end(arguments);
    std::fwrite(text, 1, size, stderr);
    std::fflush(stderr);
}
