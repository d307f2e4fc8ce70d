// The INI reader behind the lookups on POSIX. It reproduces what the Win32 profile lookups
// observably do (see IniReadInt and IniReadText in platform.h), reading the file in chunks
// through a fixed line buffer, so a lookup never allocates.
#pragma once

#include <cstddef>
#include <cstdint>

// Where the INI bytes come from: `read` fills at most `size` bytes and returns how many it
// gave, 0 at the end.
struct IniSource {
    void *context;
    std::size_t (*read)(void *context, char *buffer, std::size_t size);
};

// Lines longer than this are cut to their first kIniLineSize-1 bytes.
constexpr std::size_t kIniLineSize = 4096;

// Looks up `key` in the first section named `section`. On success copies the value (blanks
// trimmed, one pair of outer quotes removed, cut to value_size-1 bytes, zero-terminated),
// and returns its full length before the cut. Returns -1 when section or key is missing.
long IniFindValue(IniSource source, const char *section, const char *key, char *value,
                  std::size_t value_size);

// What a line of an INI file is, as the lookups read it.
enum class IniLineKind { kComment, kSection, kKey, kOther };
struct IniLine {
    IniLineKind kind;         // never kComment: comments and blank lines are not visited
    const char *name;         // the section's or key's name, trimmed; kOther: the whole line
    std::size_t name_length;  // (not zero-terminated)
    unsigned number;          // 1-based, as an editor counts the lines
};
// Calls `visit` for every line that is not blank and not a comment, in file order.
void IniWalkLines(IniSource source, void (*visit)(void *context, const IniLine &line), void *context);
// Compares a name with a zero-terminated one as the lookups do: without regard to case.
bool IniSameName(const char *a, std::size_t a_length, const char *b);

// The text lookup on a source: a found value, else the default with its trailing spaces
// removed; at most size-1 characters; returns the count copied. size 0 copies nothing.
std::uint32_t IniTextLookup(IniSource source, const char *section, const char *key,
                            const char *default_text, char *out, std::uint32_t size);

// The integer lookup on a source: the default for a missing key or an empty value, else the
// value parsed by IniParseInteger.
int IniIntLookup(IniSource source, const char *section, const char *key, int default_value);

// Parses a number the way the Win32 integer lookup does: skips leading characters up to
// 0x20, takes one '+' or '-', a lower-case 0x, 0o or 0b prefix, then digits of that base up
// to the first other character. Arithmetic is modulo 2^32; "abc" reads 0.
int IniParseInteger(const char *text);

// A source over bytes in memory, for tests and tools.
struct IniMemory {
    const char *data;
    std::size_t length;
    std::size_t position;
};
IniSource IniMemorySource(IniMemory *memory);
