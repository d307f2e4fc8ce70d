// A model demultiplexer behind the DVB tuner library's demux seam (platform/demux_device.h):
// the transport stream of the carrier the model frontend holds locked carries a PAT and, where
// a network says so, that network's NIT (actual) and the others' (other), each section coming
// round at its repetition time on the model frontend's clock. Also the section encoder the
// section reader's tests craft their input with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace model {

struct ModelNetwork {
    std::uint16_t network_id = 1;
    std::string name = "Model network";
    std::uint8_t version = 1;
    // The carriers (kHz) whose transport streams belong to this network and carry its NIT;
    // empty: every carrier of the scenario at least `min_symbol_rate` fast.
    std::vector<std::uint32_t> carried_by_khz;
    std::uint32_t min_symbol_rate = 0;  // S/s
    // The carriers its NIT lists; empty: the ones it is carried by.
    std::vector<std::uint32_t> lists_khz;
    bool delivery = true;          // false: entries without delivery descriptors
    std::uint32_t repeat_ms = 10000;  // each section comes round this often
    int streams_per_section = 40;     // the transport stream loop split over sections
};

struct ModelTables {
    std::vector<ModelNetwork> networks;
    std::uint32_t pat_repeat_ms = 100;
    bool pat_names_nit = true;      // program 0 in the PAT of a stream that carries a NIT
    std::uint16_t nit_pid = 0x10;
    bool corrupt_every_other = false;  // every other copy of each NIT section arrives with a bad CRC
    // What happened.
    int filters = 0;
    int sections_served = 0;
};

// Installs the demux model (beside an installed model frontend) and returns its tables.
ModelTables &InstallDemux(const ModelTables &tables);
void RemoveDemux();
const ModelTables *InstalledDemux();  // null when none is installed

// The transport stream id the model gives a carrier: its place in the scenario, from 1.
std::uint16_t TransportStreamId(const sim::Scenario &scenario, std::uint32_t frequency_khz, int polarization);

// Section encoder: long-form sections with their CRC (EN 300 468 5.2.1, ISO/IEC 13818-1 2.4.4.3).
using Bytes = std::vector<std::uint8_t>;
Bytes LongSection(std::uint8_t table_id, std::uint16_t id, std::uint8_t version, std::uint8_t number, std::uint8_t last,
                  const Bytes &body);
Bytes PatSection(std::uint16_t transport_stream_id, int network_pid);  // network_pid < 0: no program 0
// The satellite delivery system descriptor (tag 0x43) of a carrier at `position` tenths east.
Bytes SatelliteDescriptor(const sim::Carrier &carrier, int position);
struct NitEntry {
    std::uint16_t transport_stream_id;
    std::uint16_t original_network_id;
    Bytes descriptors;
};
// The NIT's sections, `per_section` entries each.
std::vector<Bytes> NitSections(std::uint8_t table_id, std::uint16_t network_id, const std::string &name,
                               std::uint8_t version, const std::vector<NitEntry> &entries, int per_section);

}  // namespace model
