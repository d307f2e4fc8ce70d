// The broadcast's own tables, byte by byte: long-form PSI/SI sections (ISO/IEC 13818-1
// 2.4.4), the program association table, the network information table and its satellite
// delivery system descriptor (ETSI EN 300 468 5.2.1, 6.2.13.2). Every length is checked
// against the bytes at hand: a broken or hostile section is refused, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dvb {

// Table ids (ISO/IEC 13818-1 table 2-31, EN 300 468 table 2) and the PIDs they travel on.
constexpr std::uint8_t kTablePat = 0x00;
constexpr std::uint8_t kTableNitActual = 0x40;
constexpr std::uint8_t kTableNitOther = 0x41;
constexpr std::uint16_t kPatPid = 0x0000;
constexpr std::uint16_t kDefaultNitPid = 0x0010;  // EN 300 468 table 1; the PAT may name another
// A PSI or SI section is at most 1024 bytes (section_length up to 1021); private sections
// the demux may hand over reach 4096.
constexpr std::size_t kMaxPsiSectionBytes = 1024;
constexpr std::size_t kMaxSectionBytes = 4096;

// The CRC-32 of the sections (EN 300 468 annex B, ISO/IEC 13818-1 annex A): polynomial
// 0x04C11DB7, register preset to all ones, no reflection, no final inversion. Over a whole
// section including its CRC field it gives 0.
std::uint32_t SectionCrc32(const std::uint8_t *bytes, std::size_t size);

// Bytes a section at the start of `bytes` occupies (3 + section_length), or 0 when fewer
// than 3 bytes are there.
std::size_t SectionSize(const std::uint8_t *bytes, std::size_t size);

struct Section {
    std::uint8_t table_id = 0;
    std::uint16_t id = 0;  // table_id_extension: transport_stream_id (PAT), network_id (NIT)
    std::uint8_t version = 0;
    bool current = false;
    std::uint8_t number = 0, last_number = 0;
    const std::uint8_t *body = nullptr;  // after the 8-byte header, up to the CRC
    std::size_t body_size = 0;
};

// Checks one long-form section of exactly `size` bytes: the syntax indicator, a length that
// matches `size` and fits a PSI section, section_number <= last_section_number, the CRC.
bool ReadSection(const std::uint8_t *bytes, std::size_t size, Section *section);

struct PatInfo {
    std::uint16_t transport_stream_id = 0;
    bool has_network_pid = false;  // program 0 names the NIT's PID (ISO/IEC 13818-1 2.4.4.3)
    std::uint16_t network_pid = 0;
};
// Reads a PAT section's programs; false when its loop is not whole 4-byte entries.
bool ReadPatSection(const Section &section, PatInfo *pat);

// A satellite delivery system descriptor (tag 0x43), in the transponder record's codes.
struct SatelliteDelivery {
    std::uint32_t frequency_khz = 0;
    std::int16_t orbital_position = 0;  // tenths of a degree, east positive, -1800..1800
    int polarization = 0;               // 0 horizontal, 1 vertical, 2 circular left, 3 circular right
    int system = 0;                     // 1 DVB-S, 2 DVB-S2
    int constellation = 0;              // 1 QPSK, 2 8PSK; 0 automatic or not of these
    int rolloff = 0;                    // 1 0.35, 2 0.25, 3 0.20; 0 reserved
    int fec = 0;                        // record code; 0 not defined
    std::uint32_t symbol_rate = 0;      // S/s
};
// Decodes the descriptor's 11 data bytes; false for a digit that is not BCD or a position
// beyond 180 degrees.
bool DecodeSatelliteDelivery(const std::uint8_t *data, std::size_t size, SatelliteDelivery *delivery);

struct NitStream {
    std::uint16_t transport_stream_id = 0;
    std::uint16_t original_network_id = 0;
    std::uint16_t network_id = 0;  // of the NIT that lists it
    bool has_delivery = false;
    SatelliteDelivery delivery;
};

constexpr std::size_t kMaxNetworkName = 64;
// A PSI section holds at most this many transport stream entries (6 bytes each at least).
constexpr int kMaxStreamsPerSection = 170;

// Reads a NIT section: the network name (descriptor 0x40 without its character table's
// selector, cut to fit, NUL-terminated; empty when absent) and its transport streams into `streams` (room for kMaxStreamsPerSection).
// Returns the count, or -1 when a loop or descriptor length overruns what holds it (an
// entry's descriptors may run past the transport stream loop's length, not past the section).
int ReadNitSection(const Section &section, char *network_name, std::size_t name_size, NitStream *streams);

}  // namespace dvb
