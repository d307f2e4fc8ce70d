// Names that come from outside the program (the satellite name of the configuration, the
// device names of the tuner library) hold whatever bytes their source wrote: UTF-8 from a
// modern editor, Latin-1 from an old one, and now and then a control character. A name is
// read as UTF-8 when it is well-formed UTF-8 as a whole, otherwise byte by byte as Latin-1.
#pragma once

#include <cstddef>
#include <cstdint>

// True when the whole text is well-formed UTF-8: no stray continuation byte, no overlong
// form, no surrogate, nothing above U+10FFFF. Plain ASCII is UTF-8.
bool IsUtf8(const char *text);

// Reads the character at `text`: one UTF-8 sequence when `utf8`, else one Latin-1 byte.
// Stores its code point and returns the bytes it spans; 0 at the end of the text.
std::size_t NextCharacter(const char *text, bool utf8, std::uint32_t *code_point);

// C0 controls (U+0000..U+001F), DEL and the C1 controls (U+0080..U+009F).
bool IsControlCharacter(std::uint32_t code_point);

// Copies `text` for the console with each control character replaced by '?' (a terminal
// must not take a device name for commands), cut at a whole character to fit `size`.
void PrintableName(const char *text, char *out, std::size_t size);
