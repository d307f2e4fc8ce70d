// The parts of the seam that are the same on every platform: the hooks table and Print.
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

PlatformHooks &Platform() {
    static PlatformHooks hooks = SystemPlatform();
    return hooks;
}

void Print(const char *format, ...) {
    char text[2048];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    std::size_t size = static_cast<std::size_t>(length);
    if (size >= sizeof text) size = sizeof text - 1;  // cut, never overflow
    Platform().write_console(text, size);
}
