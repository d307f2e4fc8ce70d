// The INI reader over arbitrary bytes: section and key names and the buffer sizes come from
// the input, the rest is the file. The reader is fed once in one piece and once in small
// chunks; both must give the same answers, and no lookup may write past its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/ini_reader.h"

namespace {

// A source that hands out at most `chunk` bytes per read, like a pipe.
struct ChunkedMemory {
    const char *data;
    std::size_t length;
    std::size_t position;
    std::size_t chunk;
};

std::size_t ReadChunk(void *context, char *buffer, std::size_t size) {
    auto *memory = static_cast<ChunkedMemory *>(context);
    std::size_t count = memory->length - memory->position;
    if (count > size) count = size;
    if (count > memory->chunk) count = memory->chunk;
    std::memcpy(buffer, memory->data + memory->position, count);
    memory->position += count;
    return count;
}

// Takes up to `length` bytes (stopping at a newline) from the input as a name.
std::string TakeName(const std::uint8_t *&data, std::size_t &size, std::size_t length) {
    std::string name;
    while (size > 0 && name.size() < length && *data != '\n') {
        name.push_back(static_cast<char>(*data));
        ++data;
        --size;
    }
    if (size > 0 && *data == '\n') {
        ++data;
        --size;
    }
    return name;
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 3) return 0;
    const std::size_t value_size = data[0] % 70;      // 0..69, around the usual 16 and 80
    const std::size_t chunk = 1 + data[1] % 61;
    const std::size_t name_limit = 1 + data[2] % 24;
    data += 3;
    size -= 3;
    const std::string section = TakeName(data, size, name_limit);
    const std::string key = TakeName(data, size, name_limit);
    const char *text = reinterpret_cast<const char *>(data);

    // IniFindValue, whole and chunked, into buffers of exactly value_size bytes.
    std::vector<char> whole_value(value_size + 1, 'W');
    std::vector<char> chunked_value(value_size + 1, 'C');
    IniMemory memory{text, size, 0};
    ChunkedMemory chunked{text, size, 0, chunk};
    const long whole_length = IniFindValue(IniMemorySource(&memory), section.c_str(), key.c_str(),
                                           value_size > 0 ? whole_value.data() : nullptr, value_size);
    const long chunked_length = IniFindValue(IniSource{&chunked, ReadChunk}, section.c_str(), key.c_str(),
                                             value_size > 0 ? chunked_value.data() : nullptr, value_size);
    FUZZ_CHECK(whole_length == chunked_length);
    FUZZ_CHECK(whole_value[value_size] == 'W' && chunked_value[value_size] == 'C');  // the guard byte stays
    if (whole_length >= 0 && value_size > 0) {
        // The value is cut to value_size-1 bytes and terminated.
        const std::size_t copied =
            static_cast<std::size_t>(whole_length) < value_size ? static_cast<std::size_t>(whole_length) : value_size - 1;
        FUZZ_CHECK(whole_value[copied] == '\0');
        FUZZ_CHECK(std::memcmp(whole_value.data(), chunked_value.data(), copied + 1) == 0);
    }

    // The text lookup: at most size-1 characters, zero-terminated, the count returned.
    const auto text_size = static_cast<std::uint32_t>(value_size);
    std::vector<char> out(text_size + 1, 'G');
    memory.position = 0;
    const std::uint32_t count =
        IniTextLookup(IniMemorySource(&memory), section.c_str(), key.c_str(), "Default  ", out.data(), text_size);
    FUZZ_CHECK(out[text_size] == 'G');
    if (text_size == 0) {
        FUZZ_CHECK(count == 0 && out[0] == 'G');
    } else {
        FUZZ_CHECK(count < text_size && out[count] == '\0');
    }

    // The integer lookup agrees with the value parsed on its own.
    memory.position = 0;
    const int number = IniIntLookup(IniMemorySource(&memory), section.c_str(), key.c_str(), -12345);
    char full[kIniLineSize + 1];
    memory.position = 0;
    const long full_length = IniFindValue(IniMemorySource(&memory), section.c_str(), key.c_str(), full, sizeof full);
    if (full_length <= 0) {
        FUZZ_CHECK(number == -12345);
    } else if (static_cast<std::size_t>(full_length) < sizeof full && std::strlen(full) > 0) {
        FUZZ_CHECK(number == IniParseInteger(full));
    }

    // The number parser over the raw text.
    std::string terminated(text, size);
    (void)IniParseInteger(terminated.c_str());
    return 0;
}
