#include "psi_sections.h"

#include <cstring>

namespace dvb {

namespace {

constexpr std::uint8_t kNetworkNameDescriptor = 0x40;       // EN 300 468 6.2.27
constexpr std::uint8_t kSatelliteDeliveryDescriptor = 0x43;  // EN 300 468 6.2.13.2
constexpr std::size_t kHeaderBytes = 8;                      // table_id .. last_section_number
constexpr std::size_t kCrcBytes = 4;

std::uint16_t Get16(const std::uint8_t *bytes) { return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]); }
std::size_t Length12(const std::uint8_t *bytes) { return static_cast<std::size_t>((bytes[0] & 0x0F) << 8 | bytes[1]); }

// Reads `digits` BCD digits from the high nibble of bytes[0] on; false for a nibble above 9.
bool Bcd(const std::uint8_t *bytes, int digits, std::uint32_t *value) {
    std::uint32_t result = 0;
    for (int i = 0; i < digits; ++i) {
        const unsigned nibble = i % 2 == 0 ? bytes[i / 2] >> 4 : bytes[i / 2] & 0x0F;
        if (nibble > 9) return false;
        result = result * 10 + nibble;
    }
    *value = result;
    return true;
}

// FEC_inner of the satellite delivery system descriptor to the record's code rate codes
// (EN 300 468 6.2.13.2: 1 1/2, 2 2/3, 3 3/4, 4 5/6, 5 7/8, 6 8/9, 7 3/5, 8 4/5, 9 9/10).
const int kFecCodes[16] = {0, 1, 2, 3, 5, 7, 8, 13, 4, 9, 0, 0, 0, 0, 0, 0};

}  // namespace

std::uint32_t SectionCrc32(const std::uint8_t *bytes, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint32_t>(bytes[i]) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::size_t SectionSize(const std::uint8_t *bytes, std::size_t size) {
    return size < 3 ? 0 : 3 + Length12(bytes + 1);
}

bool ReadSection(const std::uint8_t *bytes, std::size_t size, Section *section) {
    if (size < kHeaderBytes + kCrcBytes || size > kMaxPsiSectionBytes || SectionSize(bytes, size) != size) return false;
    if ((bytes[1] & 0x80) == 0) return false;  // not the long form with a CRC
    if (SectionCrc32(bytes, size) != 0) return false;
    section->table_id = bytes[0];
    section->id = Get16(bytes + 3);
    section->version = static_cast<std::uint8_t>((bytes[5] >> 1) & 0x1F);
    section->current = (bytes[5] & 0x01) != 0;
    section->number = bytes[6];
    section->last_number = bytes[7];
    section->body = bytes + kHeaderBytes;
    section->body_size = size - kHeaderBytes - kCrcBytes;
    return section->number <= section->last_number;
}

bool ReadPatSection(const Section &section, PatInfo *pat) {
    if (section.table_id != kTablePat || section.body_size % 4 != 0) return false;
    pat->transport_stream_id = section.id;
    for (std::size_t at = 0; at < section.body_size; at += 4) {
        if (Get16(section.body + at) != 0) continue;
        pat->has_network_pid = true;
        pat->network_pid = static_cast<std::uint16_t>(Get16(section.body + at + 2) & 0x1FFF);
    }
    return true;
}

bool DecodeSatelliteDelivery(const std::uint8_t *data, std::size_t size, SatelliteDelivery *delivery) {
    if (size < 11) return false;
    std::uint32_t frequency = 0, position = 0, rate = 0;
    // Frequency: 8 digits in 10 kHz; position: 4 digits in 0.1 degree; rate: 7 digits in 100 S/s.
    if (!Bcd(data, 8, &frequency) || !Bcd(data + 4, 4, &position) || !Bcd(data + 7, 7, &rate)) return false;
    if (position > 1800) return false;
    const std::uint8_t flags = data[6];
    const bool east = (flags & 0x80) != 0;
    const bool second_generation = (flags & 0x04) != 0;
    const unsigned modulation_type = flags & 0x03;  // 0 auto, 1 QPSK, 2 8PSK, 3 16-QAM
    delivery->frequency_khz = frequency * 10u;
    delivery->orbital_position = static_cast<std::int16_t>(east ? position : -static_cast<int>(position));
    delivery->polarization = (flags >> 5) & 0x03;  // the record's codes: H, V, L, R
    delivery->system = second_generation ? 2 : 1;
    // DVB-S knows QPSK alone (EN 300 421); 16-QAM is no satellite constellation here.
    delivery->constellation = modulation_type == 1 || modulation_type == 2 ? static_cast<int>(modulation_type)
                              : second_generation                         ? 0
                                                                          : 1;
    // Roll-off: 0 0.35, 1 0.25, 2 0.20, 3 reserved (DVB-S2 only; DVB-S is 0.35).
    const unsigned rolloff = (flags >> 3) & 0x03;
    delivery->rolloff = !second_generation ? 1 : rolloff < 3 ? static_cast<int>(rolloff) + 1 : 0;
    delivery->symbol_rate = rate * 100u;
    delivery->fec = kFecCodes[data[10] & 0x0F];
    return true;
}

// The bytes that select a text's character table (EN 300 468 annex A.2): a first byte below
// 0x20 does, 0x10 with two bytes more and 0x1F with one.
std::size_t TableSelectorBytes(const std::uint8_t *text, std::size_t size) {
    if (size == 0 || text[0] >= 0x20) return 0;
    const std::size_t bytes = text[0] == 0x10 ? 3 : text[0] == 0x1F ? 2 : 1;
    return bytes < size ? bytes : size;
}

int ReadNitSection(const Section &section, char *network_name, std::size_t name_size, NitStream *streams) {
    if (name_size > 0) network_name[0] = '\0';
    const std::uint8_t *at = section.body;
    const std::uint8_t *const end = section.body + section.body_size;
    if (end - at < 2) return -1;
    const std::size_t network_descriptors = Length12(at);
    at += 2;
    if (static_cast<std::size_t>(end - at) < network_descriptors) return -1;
    const std::uint8_t *const descriptors_end = at + network_descriptors;
    while (at < descriptors_end) {
        if (descriptors_end - at < 2 || static_cast<std::size_t>(descriptors_end - at - 2) < at[1]) return -1;
        if (at[0] == kNetworkNameDescriptor && name_size > 0) {
            const std::size_t selector = TableSelectorBytes(at + 2, at[1]);
            const std::size_t text = at[1] - selector;
            const std::size_t length = text < name_size - 1 ? text : name_size - 1;
            std::memcpy(network_name, at + 2 + selector, length);
            network_name[length] = '\0';
        }
        at += 2 + at[1];
    }
    if (end - at < 2) return -1;
    const std::size_t loop = Length12(at);
    at += 2;
    if (static_cast<std::size_t>(end - at) < loop) return -1;
    // The loop's entries start within its length; their descriptors are bounded by the
    // section itself, since some multiplexers count only the entries' 6-byte heads in the
    // loop length (the kernel's vidtv, vidtv_psi.c vidtv_psi_nit_table_update_sec_len).
    const std::uint8_t *const loop_end = at + loop;
    int count = 0;
    while (at < loop_end) {
        if (end - at < 6 || count == kMaxStreamsPerSection) return -1;
        NitStream &stream = streams[count];
        stream = NitStream();
        stream.transport_stream_id = Get16(at);
        stream.original_network_id = Get16(at + 2);
        stream.network_id = section.id;
        const std::size_t length = Length12(at + 4);
        at += 6;
        if (static_cast<std::size_t>(end - at) < length) return -1;
        const std::uint8_t *const stream_end = at + length;
        while (at < stream_end) {
            if (stream_end - at < 2 || static_cast<std::size_t>(stream_end - at - 2) < at[1]) return -1;
            if (at[0] == kSatelliteDeliveryDescriptor && !stream.has_delivery) {
                stream.has_delivery = DecodeSatelliteDelivery(at + 2, at[1], &stream.delivery);
            }
            at += 2 + at[1];
        }
        ++count;
    }
    return count;
}

}  // namespace dvb
