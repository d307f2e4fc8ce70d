#include "report/output_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

char g_last_error[160] = "";

// Keeps the system's reason for the failure that just happened.
void NoteFailure(OutputFile *file) {
    if (!file->failed) DescribeLastError(g_last_error, sizeof g_last_error);
    file->failed = true;
}

void Flush(OutputFile *file) {
    if (file->used > 0 && !WriteOutputFile(file->handle, file->buffer, file->used)) NoteFailure(file);
    file->used = 0;
}

void Put(OutputFile *file, char c) {
    if (file->used == sizeof file->buffer) Flush(file);
    file->buffer[file->used++] = c;
}

}  // namespace

const char *LastOutputError() { return g_last_error; }

bool OpenOutputFile(OutputFile *file, const char *name) {
    file->failed = false;
    file->lf_line_ends = false;
    file->used = 0;
    file->temporary_name[0] = '\0';
    if (name == nullptr) return false;
    if (std::snprintf(file->final_name, sizeof file->final_name, "%s", name) >= static_cast<int>(kPathSize)) {
        std::snprintf(g_last_error, sizeof g_last_error, "the name is longer than %u characters",
                      static_cast<unsigned>(kPathSize - 1));
        return false;
    }
    file->handle = IsDeviceFile(name) ? OpenDeviceForWriting(name)
                                      : CreateTemporaryFile(name, file->temporary_name, sizeof file->temporary_name);
    if (file->handle == -1) {
        DescribeLastError(g_last_error, sizeof g_last_error);
        return false;
    }
    return true;
}

void WriteLine(OutputFile *file, const char *format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0) {
        file->failed = true;
        return;
    }
    std::size_t size = static_cast<std::size_t>(length);
    if (size >= sizeof text) size = sizeof text - 1;  // callers bound their texts; never overflow
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] == '\n' && !file->lf_line_ends) Put(file, '\r');
        Put(file, text[i]);
    }
}

int FinishOutputFile(OutputFile *file) {
    Flush(file);
    if (!CloseOutputFile(file->handle)) NoteFailure(file);
    if (file->temporary_name[0] == '\0') return file->failed ? -2 : 0;
    if (!file->failed && !MoveIntoPlace(file->temporary_name, file->final_name)) NoteFailure(file);
    if (file->failed) {
        RemoveFile(file->temporary_name);
        return -2;
    }
    return 0;
}
