#include "report/name_text.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }

// One UTF-8 sequence. Source: RFC 3629, section 4 (the well-formed byte sequences): the
// second byte's range depends on the lead byte, which rules out overlong forms, surrogates
// and code points above U+10FFFF. Returns the length, or 0 when the bytes are not one.
std::size_t DecodeUtf8(const unsigned char *bytes, std::uint32_t *code_point) {
    const unsigned char lead = bytes[0];
    if (lead < 0x80u) {
        *code_point = lead;
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80u, high = 0xBFu;  // the allowed range of the second byte
    if (lead >= 0xC2u && lead <= 0xDFu) {
        length = 2;
    } else if (lead >= 0xE0u && lead <= 0xEFu) {
        length = 3;
        if (lead == 0xE0u) low = 0xA0u;
        if (lead == 0xEDu) high = 0x9Fu;
    } else if (lead >= 0xF0u && lead <= 0xF4u) {
        length = 4;
        if (lead == 0xF0u) low = 0x90u;
        if (lead == 0xF4u) high = 0x8Fu;
    } else {
        return 0;
    }
    if (bytes[1] < low || bytes[1] > high) return 0;
    std::uint32_t value = lead & (0xFFu >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if (!IsContinuation(bytes[i])) return 0;  // also stops at the terminating zero
        value = (value << 6) | (bytes[i] & 0x3Fu);
    }
    *code_point = value;
    return length;
}

}  // namespace

bool IsUtf8(const char *text) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    while (*bytes != 0) {
        std::uint32_t code_point = 0;
        const std::size_t length = DecodeUtf8(bytes, &code_point);
        if (length == 0) return false;
        bytes += length;
    }
    return true;
}

std::size_t NextCharacter(const char *text, bool utf8, std::uint32_t *code_point) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    if (bytes[0] == 0) return 0;
    if (utf8) {
        const std::size_t length = DecodeUtf8(bytes, code_point);
        if (length != 0) return length;
    }
    *code_point = bytes[0];  // Latin-1: the byte is the code point
    return 1;
}

bool IsControlCharacter(std::uint32_t code_point) {
    return code_point < 0x20u || (code_point >= 0x7Fu && code_point <= 0x9Fu);
}

void PrintableName(const char *text, char *out, std::size_t size) {
    if (size == 0) return;
    const bool utf8 = IsUtf8(text);
    std::size_t used = 0;
    std::uint32_t code_point = 0;
    for (std::size_t length; (length = NextCharacter(text, utf8, &code_point)) != 0; text += length) {
        const bool control = IsControlCharacter(code_point);
        const std::size_t width = control ? 1 : length;
        if (used + width >= size) break;
        if (control) {
            out[used++] = '?';
        } else {
            for (std::size_t i = 0; i < length; ++i) out[used++] = text[i];
        }
    }
    out[used] = '\0';
}
