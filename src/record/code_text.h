// Tables that turn a coded record field into a text, written as rows.
#pragma once

#include <cstddef>
#include <cstdint>

struct CodeText {
    std::int32_t code;
    const char *text;
};

// The text of `code`, or `other` when no row has it (so 0 where a table starts at 1, and
// every negative code, fall to `other`).
template <std::size_t N>
const char *TextOf(const CodeText (&rows)[N], std::int32_t code, const char *other) {
    for (const CodeText &row : rows) {
        if (row.code == code) return row.text;
    }
    return other;
}
