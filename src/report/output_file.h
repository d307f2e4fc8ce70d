// A report or list file being written: lines end in CR LF on every platform, the bytes are
// gathered in a fixed buffer, and the file is written under a temporary name beside the
// final one and moved into place only when every byte reached it. So a failed write never
// destroys the good file of an earlier pass, and a full disk is reported, not hidden.
// The temporary file is created new under a name nobody can predict, so a link planted in the
// directory cannot redirect the write, and two runs in one directory never share it.
// A target that is a device (not a plain file) is written in place.
#pragma once

#include <cstddef>

#include "platform/platform.h"

struct OutputFile {
    FileHandle handle;
    bool failed;                    // a write failed
    bool lf_line_ends;              // lines end in LF alone (files for Linux tools); set after opening
    std::size_t used;               // bytes waiting in `buffer`
    char buffer[4096];
    char final_name[kPathSize];
    char temporary_name[kPathSize + 24];  // empty when the target is written in place
};

// Creates the temporary file for `name`; false when the name is too long or the file cannot
// be created (nothing is left behind).
bool OpenOutputFile(OutputFile *file, const char *name);

// Appends formatted text; every "\n" in the result is written as CR LF (LF with lf_line_ends).
void WriteLine(OutputFile *file, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Flushes, closes and moves the file into place. Returns 0, or -2 when any byte failed to
// reach the file (the temporary file is then removed and an older file keeps its content).
int FinishOutputFile(OutputFile *file);

// Why the last output file failed, in the system's words ("No space left on device").
const char *LastOutputError();
