// The parts of the seam that are the same on every platform: the hooks table, Print and
// PrintError.
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace {

// Formats into a fixed buffer and hands the text to `write`; an over-long text is cut,
// never overflows.
void Emit(void (*write)(const char *text, std::size_t length), const char *format, va_list arguments) {
    char text[2048];
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    if (length < 0) return;
    std::size_t size = static_cast<std::size_t>(length);
    if (size >= sizeof text) size = sizeof text - 1;
    write(text, size);
}

void WriteStandardError(const char *text, std::size_t length) {
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
}

}  // namespace

PlatformHooks &Platform() {
    static PlatformHooks hooks = SystemPlatform();
    return hooks;
}

void Print(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Emit(Platform().write_console, format, arguments);
    va_end(arguments);
}

void PrintError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Emit(WriteStandardError, format, arguments);
    va_end(arguments);
}
