#include "report/output_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void Flush(OutputFile *file) {
    if (file->used > 0 && !WriteOutputFile(file->handle, file->buffer, file->used)) file->failed = true;
    file->used = 0;
}

void Put(OutputFile *file, char c) {
    if (file->used == sizeof file->buffer) Flush(file);
    file->buffer[file->used++] = c;
}

}  // namespace

bool OpenOutputFile(OutputFile *file, const char *name) {
    if (name == nullptr) return false;
    if (std::snprintf(file->final_name, sizeof file->final_name, "%s", name) >= static_cast<int>(kPathSize)) {
        return false;
    }
    if (IsDeviceFile(name)) {
        file->temporary_name[0] = '\0';
    } else {
        std::snprintf(file->temporary_name, sizeof file->temporary_name, "%s.part", name);
    }
    file->handle = CreateOutputFile(file->temporary_name[0] != '\0' ? file->temporary_name : name);
    file->failed = false;
    file->used = 0;
    return file->handle != -1;
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
        if (text[i] == '\n') Put(file, '\r');
        Put(file, text[i]);
    }
}

int FinishOutputFile(OutputFile *file) {
    Flush(file);
    bool closed = CloseOutputFile(file->handle);
    if (file->temporary_name[0] == '\0') return file->failed || !closed ? -2 : 0;
    if (file->failed || !closed || !MoveIntoPlace(file->temporary_name, file->final_name)) {
        RemoveFile(file->temporary_name);
        return -2;
    }
    return 0;
}
