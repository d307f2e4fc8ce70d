#include "platform/ini_reader.h"

#include <cstring>

namespace {

// Blanks trimmed around lines, names and values: space, TAB, VT and FF.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct Span {
    const char *begin;
    std::size_t length;
};

Span Trim(const char *begin, const char *end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
    return {begin, static_cast<std::size_t>(end - begin)};
}

// A name argument loses its leading and trailing spaces (only spaces, as on Windows).
Span TrimSpaces(const char *name) {
    const char *end = name + std::strlen(name);
    while (*name == ' ') ++name;
    while (end > name && end[-1] == ' ') --end;
    return {name, static_cast<std::size_t>(end - name)};
}

// A NUL byte inside a name or value ends it.
Span CutAtNul(Span span) {
    const void *nul = std::memchr(span.begin, '\0', span.length);
    if (nul != nullptr) span.length = static_cast<std::size_t>(static_cast<const char *>(nul) - span.begin);
    return span;
}

bool SameName(Span a, Span b) {
    if (a.length != b.length) return false;
    for (std::size_t i = 0; i < a.length; ++i) {
        if (Lower(a.begin[i]) != Lower(b.begin[i])) return false;
    }
    return true;
}

// Walks the lines of a source: any run of CR and LF ends a line; a UTF-8 byte-order mark at
// the very start is skipped; a line longer than the line buffer keeps its first bytes.
class LineReader {
public:
    explicit LineReader(IniSource source) : source_(source) {}

    // The next line, untrimmed, and its number as an editor counts lines (a CR LF pair is one
    // line end, a lone CR or LF another); false at the end of the source.
    bool Next(Span *line, unsigned *number = nullptr) {
        std::size_t length = 0;
        bool have_line = false;
        for (;;) {
            if (position_ == filled_) {
                if (!Fill()) break;
            }
            char c = chunk_[position_++];
            const bool second_half = c == '\n' && previous_ == '\r';
            previous_ = c;
            if (c == '\r' || c == '\n') {
                if (!second_half) ++line_ends_;
                if (have_line) break;
                continue;  // an empty line, or the second half of CR LF
            }
            if (!have_line && number != nullptr) *number = line_ends_ + 1;
            have_line = true;
            if (length < kIniLineSize - 1) line_[length++] = c;
        }
        *line = {line_, length};
        return have_line;
    }

private:
    bool Fill() {
        position_ = 0;
        if (first_chunk_) {
            first_chunk_ = false;
            // Gather the three bytes a byte-order mark needs, however the source splits its reads.
            filled_ = 0;
            while (filled_ < 3) {
                const std::size_t got = source_.read(source_.context, chunk_ + filled_, sizeof chunk_ - filled_);
                if (got == 0) break;
                filled_ += got;
            }
            if (filled_ >= 3 && std::memcmp(chunk_, "\xEF\xBB\xBF", 3) == 0) position_ = 3;
            if (position_ < filled_) return true;
            position_ = 0;  // nothing but a mark so far: read on
        }
        filled_ = source_.read(source_.context, chunk_, sizeof chunk_);
        return filled_ > 0;
    }

    IniSource source_;
    char chunk_[4096];
    std::size_t filled_ = 0;
    std::size_t position_ = 0;
    bool first_chunk_ = true;
    char previous_ = '\0';
    unsigned line_ends_ = 0;
    char line_[kIniLineSize];
};

}  // namespace

namespace {

// What a trimmed, non-blank line is: a comment (';' first), a section header (its name up to
// ']' or the end), a key line (its name before the first '=', its value after it), or none of
// these, which the lookups pass over.
struct ClassifiedLine {
    IniLineKind kind;
    Span name;
    Span value;
};

ClassifiedLine Classify(Span line) {
    if (line.begin[0] == ';') return {IniLineKind::kComment, {line.begin, 0}, {line.begin, 0}};
    if (line.begin[0] == '[') {
        const char *name_end = static_cast<const char *>(std::memchr(line.begin, ']', line.length));
        if (name_end == nullptr) name_end = line.begin + line.length;
        return {IniLineKind::kSection, CutAtNul(Trim(line.begin + 1, name_end)), {line.begin, 0}};
    }
    const char *equals = static_cast<const char *>(std::memchr(line.begin, '=', line.length));
    if (equals == nullptr) return {IniLineKind::kOther, line, {line.begin, 0}};
    return {IniLineKind::kKey, CutAtNul(Trim(line.begin, equals)), CutAtNul(Trim(equals + 1, line.begin + line.length))};
}

}  // namespace

long IniFindValue(IniSource source, const char *section, const char *key, char *value,
                  std::size_t value_size) {
    const Span wanted_section = TrimSpaces(section);
    const Span wanted_key = TrimSpaces(key);
    LineReader reader(source);
    bool in_section = false;
    Span line;
    while (reader.Next(&line)) {
        line = Trim(line.begin, line.begin + line.length);
        if (line.length == 0) continue;
        const ClassifiedLine classified = Classify(line);
        if (classified.kind == IniLineKind::kSection) {
            // Only the first section of a name is searched: its end ends the lookup.
            if (in_section) return -1;
            in_section = SameName(classified.name, wanted_section);
            continue;
        }
        // Lines before the first header belong to no section.
        if (!in_section || classified.kind != IniLineKind::kKey) continue;
        if (!SameName(classified.name, wanted_key)) continue;
        Span found = classified.value;
        if (found.length >= 2 && (found.begin[0] == '"' || found.begin[0] == '\'') &&
            found.begin[found.length - 1] == found.begin[0]) {
            found = {found.begin + 1, found.length - 2};
        }
        if (value_size > 0) {
            std::size_t copied = found.length < value_size - 1 ? found.length : value_size - 1;
            std::memcpy(value, found.begin, copied);
            value[copied] = '\0';
        }
        return static_cast<long>(found.length);
    }
    return -1;
}

void IniWalkLines(IniSource source, void (*visit)(void *context, const IniLine &line), void *context) {
    LineReader reader(source);
    Span line;
    unsigned number = 0;
    while (reader.Next(&line, &number)) {
        line = Trim(line.begin, line.begin + line.length);
        if (line.length == 0) continue;
        const ClassifiedLine classified = Classify(line);
        if (classified.kind == IniLineKind::kComment) continue;
        visit(context, IniLine{classified.kind, classified.name.begin, classified.name.length, number});
    }
}

bool IniSameName(const char *a, std::size_t a_length, const char *b) {
    return SameName({a, a_length}, {b, std::strlen(b)});
}

std::uint32_t IniTextLookup(IniSource source, const char *section, const char *key,
                            const char *default_text, char *out, std::uint32_t size) {
    if (size == 0) return 0;
    long found = IniFindValue(source, section, key, out, size);
    if (found >= 0) return static_cast<std::uint32_t>(std::strlen(out));
    if (default_text == nullptr) default_text = "";
    std::size_t length = std::strlen(default_text);
    while (length > 0 && default_text[length - 1] == ' ') --length;
    if (length > size - 1) length = size - 1;
    std::memcpy(out, default_text, length);
    out[length] = '\0';
    return static_cast<std::uint32_t>(length);
}

int IniIntLookup(IniSource source, const char *section, const char *key, int default_value) {
    char value[kIniLineSize];
    long found = IniFindValue(source, section, key, value, sizeof value);
    if (found <= 0) return default_value;  // missing key or empty value
    return IniParseInteger(value);
}

int IniParseInteger(const char *text) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (*p != '\0' && *p <= 0x20) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    std::uint32_t base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'o' || p[1] == 'b')) {
        base = p[1] == 'x' ? 16 : (p[1] == 'o' ? 8 : 2);
        p += 2;
    }
    std::uint32_t result = 0;
    for (;; ++p) {
        std::uint32_t digit;
        if (*p >= '0' && *p <= '9') {
            digit = *p - '0';
        } else if (*p >= 'a' && *p <= 'f') {
            digit = *p - 'a' + 10;
        } else if (*p >= 'A' && *p <= 'F') {
            digit = *p - 'A' + 10;
        } else {
            break;
        }
        if (digit >= base) break;
        result = result * base + digit;  // modulo 2^32, like the Win32 parser
    }
    if (negative) result = 0u - result;
    return static_cast<int>(result);
}

namespace {

std::size_t ReadMemory(void *context, char *buffer, std::size_t size) {
    IniMemory *memory = static_cast<IniMemory *>(context);
    std::size_t left = memory->length - memory->position;
    std::size_t count = left < size ? left : size;
    std::memcpy(buffer, memory->data + memory->position, count);
    memory->position += count;
    return count;
}

}  // namespace

IniSource IniMemorySource(IniMemory *memory) { return {memory, ReadMemory}; }
