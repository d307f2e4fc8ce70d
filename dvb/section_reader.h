// Reading one table from the demultiplexer after a lock: a section filter on its PID and
// table id (the kernel's include/uapi/linux/dvb/dmx.h: DMX_SET_FILTER with DMX_CHECK_CRC and
// DMX_IMMEDIATE_START), reads bounded in time with the demux's wait, every section of the
// table collected (section_number 0 .. last_section_number), then DMX_STOP and close.
#pragma once

#include <cstdint>

#include "platform/demux_device.h"
#include "psi_sections.h"

namespace dvb {

// The demux calls in force; tests replace them with a model demux.
DemuxOps &Demux();

// The transport streams one or more NITs list, with the networks they came from.
constexpr int kMaxNitNetworks = 16;
constexpr int kMaxNitStreams = 1024;

struct NitNetwork {
    std::uint16_t network_id;
    std::uint8_t version;
    std::uint8_t last_section;
    std::uint8_t received[32];  // one bit per section_number
    bool complete;
    char name[kMaxNetworkName];
};

struct NitTable {
    NitNetwork networks[kMaxNitNetworks];
    int network_count;
    NitStream streams[kMaxNitStreams];
    int stream_count;
    int broken_sections;  // refused: bad CRC or lengths
    bool repeated;        // a section already held came round again
};

// What a read found and why it ended.
enum class TableRead {
    kComplete,    // every section of the table
    kTimedOut,    // the wait ended first (what came is kept)
    kNoDemux,     // no demux device (or it refuses the filter): nothing to read
    kFailed,      // a read failed
};

// A network whose NIT was read, at the version read.
struct NetworkVersion {
    std::uint16_t network_id;
    std::uint8_t version;
};

struct TableRequest {
    std::uint16_t pid;
    std::uint8_t table_id;
    std::uint32_t wait_ms;
    // NIT actual: stop at the first section of a network already read at the same version.
    const NetworkVersion *already_read;
    int already_read_count;
};

// Reads the PAT of the transport stream on `demux_path`.
TableRead ReadPat(const char *demux_path, std::uint32_t wait_ms, PatInfo *pat);

// Reads NIT sections of `request.table_id` into `table` (cleared first). NIT actual ends when
// its one network is complete; NIT other when every network seen is complete and a section
// came round again, or at the wait's end.
TableRead ReadNit(const char *demux_path, const TableRequest &request, NitTable *table);

// Feeds one whole section (as the demux hands it over) to a NIT collection; false when it was
// refused or does not belong. Exposed for the fuzz target and tests.
bool CollectNitSection(const std::uint8_t *bytes, std::size_t size, std::uint8_t table_id, NitTable *table);

}  // namespace dvb
