// What the broadcast says about itself, read after a lock: the transport stream's id from its
// PAT and, once per network and pass, the network's NIT. The carrier's own NIT entry completes
// the record where the driver echoed the request or reported nothing; the other entries of the
// same orbital position become hints, exact tunes tried as soon as the stepping reaches them.
// A hint is reported only when a tune locks it: nothing is ever written from a table alone.
#pragma once

#include <cstdint>

#include "device_list.h"
#include "section_reader.h"
#include "settings.h"
#include "step_request.h"
#include "tuner/lnb_band.h"
#include "tuner/lumorath.h"
#include "tuning.h"

namespace dvb {

// The PAT repeats several times a second on every multiplex; a second without one means no
// transport stream to read.
constexpr std::uint32_t kPatWaitMs = 1000;
constexpr int kMaxKnownStreams = 1024;
constexpr int kMaxNetworksRead = 64;

// A NIT entry with satellite delivery parameters, kept for the pass.
struct KnownStream {
    NitStream stream;
    bool tried;  // tuned as a hint, or found by the search, in this pass
};

// A lock whose network was looked up in this pass: its NIT was read (or none came), so a
// lock of the same carrier again reads the PAT alone.
struct LookedUp {
    std::uint16_t transport_stream_id;
    unsigned polarization;
    std::uint32_t frequency_khz;
};
constexpr int kMaxLookedUp = 400;

// What the reads cost, in the clock's milliseconds (the model's clock in tests).
struct TablesCost {
    std::uint32_t pat_reads, pat_ms;
    std::uint32_t nit_reads, nit_ms;
    std::uint32_t networks;      // NITs harvested (new network or version)
    std::uint32_t records_completed;
    std::uint32_t hints_tried, hints_locked;
};

struct NetworkTables {
    bool enabled;
    std::uint32_t nit_wait_ms;
    bool nit_other;
    char demux_path[300];
    const char *device;  // the frontend's file, for messages
    KnownStream known[kMaxKnownStreams];
    int known_count;
    NetworkVersion read[kMaxNetworksRead];
    int read_count;
    LookedUp looked_up[kMaxLookedUp];
    int looked_up_count;
    bool position_known;  // the dish's orbital position, from the first carrier found in its NIT
    std::int16_t position;
    NitTable scratch;
    TablesCost cost;
};

// At the device's start: forgets everything and decides whether tables are read.
void StartTables(NetworkTables *tables, const FrontendEntry &entry, const DvbSettings &settings);
// At a pass's start: forgets the networks read and the hints (the orbital position stays).
void NewTablesPass(NetworkTables *tables);

// The next listed carrier to tune before the search goes on: of the dish's orbital position,
// on the step's polarization, through the step's own oscillator and tone, within the
// frontend's and the step's symbol rates; its centre in [from_khz, to_khz) and its lower edge
// not above `edge_khz` (nothing unsearched lies below it); the lowest such one not yet tried
// in this pass. False when none is due; each is given once per pass.
bool NextHint(NetworkTables *tables, const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &step,
              std::int64_t from_khz, std::int64_t to_khz, std::int64_t edge_khz, SatelliteDelivery *hint);

// A hint's tune locked (counted).
void HintLocked(NetworkTables *tables);
// A hint that locked but did not go over (a carrier below it went first): due again.
void HintAgain(NetworkTables *tables, const SatelliteDelivery &hint);

// After every lock, while the carrier is held and before the record is returned: reads the
// PAT and, for a transport stream no NIT read so far lists, the NIT; completes the record
// from the carrier's own entry. `asked` is what the lock was tuned with, through `band`.
// True when the record was completed from its own entry (a frequency that only echoed the
// request is then the listed one).
bool AfterLock(NetworkTables *tables, const LnbBand &band, const TuneRequest &asked, TransponderRecord *record);

// Takes a NIT's entries with delivery parameters into the pass memory (a network read again
// replaces its entries). Exposed for the fuzz target.
void HarvestNit(NetworkTables *tables, const NitTable &table);
// The index of the carrier's own entry among those kept, or -1: the transport stream id, the
// polarization, the frequency within a search's capture, the rate within 6 % and the known
// orbital position must agree, and several entries that do must not disagree.
int OwnEntry(const NetworkTables &tables, std::uint16_t transport_stream_id, const TransponderRecord &record);
// Completes the record from a delivery descriptor: frequency and rate where they only echo
// the request, the other parameters where unknown; then width and bit rate.
void CompleteRecord(const SatelliteDelivery &delivery, bool frequency_echoed, bool rate_echoed,
                    TransponderRecord *record);

}  // namespace dvb
