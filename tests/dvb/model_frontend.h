// A model DVB-S/S2 frontend behind the DVB tuner library's seam (platform/frontend_device.h):
// the simulator's band model seen through a physical LNB and one of four driver personalities
// taken from the drivers' behaviour, a clock that moves only when the library sleeps, a log
// of every satellite-equipment call, and faults on cue.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace model {

enum class Personality {
    kSweepEcho,     // demodulator that needs the rate (captures 95..105 %) and echoes the request
    kBuiltinBlind,  // searches blind at every tune, reports frequency and rate only
    kApartSystems,  // needs DVB-S and DVB-S2 tuned apart; reports rate and parameters, echoes the frequency
    kDriverBlind,   // a driver with its own blind algorithm property; reports everything
};
const char *PersonalityName(Personality personality);

// The LNB on the dish, as physics has it (not as the program describes it).
enum class LnbKind {
    kUniversal,  // 13 V vertical/right, 18 V horizontal/left; tone selects the high oscillator
    kSingle,     // one oscillator; the supply selects the polarization
    kStacked,    // vertical/right through the low oscillator, horizontal/left through the high, both at once
};
struct PhysicalLnb {
    LnbKind kind = LnbKind::kUniversal;
    std::uint32_t lo_low_khz = 9750000;
    std::uint32_t lo_high_khz = 10600000;
};

// One satellite-equipment call as the frontend saw it.
struct SecEvent {
    std::uint64_t at_ms;
    unsigned long request;  // FE_SET_VOLTAGE, FE_SET_TONE, FE_DISEQC_SEND_MASTER_CMD, FE_DISEQC_SEND_BURST
    int value;              // voltage, tone or burst; for a message its length
    std::vector<std::uint8_t> bytes;
};

struct ModelFrontend {
    Personality personality = Personality::kDriverBlind;
    PhysicalLnb lnb;
    sim::Scenario scenario;
    std::string dvb_dir = "/model/dvb";
    int frontends = 1;               // adapter0/frontend0 .. adapter0/frontend(N-1)
    bool terrestrial_first = false;  // a multi-standard frontend on DVB-T: its limits read in Hz
    int read_only_open_error = 0;    // EACCES: even listing is refused
    int read_write_open_error = 0;   // EBUSY or EACCES at the start
    // Faults: from the tune numbered vanish_at_tune on, every call gives ENODEV; a request
    // that fails with fail_errno from its fail_after-th call on.
    int vanish_at_tune = -1;
    unsigned long fail_request = 0;
    int fail_errno = 0;
    int fail_after = 0;

    // What happened.
    std::uint64_t now_ms = 0;
    std::vector<SecEvent> sec_log;
    int tunes = 0;
    int locks = 0;
    bool oneshot = false;
    // Every carrier the library saw locked (its status read with the lock), in order; the
    // benchmark clears it before a search to learn what that search locked.
    std::vector<const sim::Carrier *> seen_locked;
};

// Installs a fresh model in the library's seam and returns it; the scenario is completed
// with the simulator's seed 1. RemoveModel restores the system's calls.
ModelFrontend &InstallModel(Personality personality, const PhysicalLnb &lnb, const sim::Scenario &scenario);
ModelFrontend &Model();
void RemoveModel();
// The carrier the demodulator holds locked now, or null (the demux model reads its stream).
const sim::Carrier *LockedCarrier();

// How long the modelled demodulator takes to lock this carrier, ms: its acquisition and FEC
// lock, and for a blind search the probe of its range, from the simulator's timing model
// (sim/timing/search_timing.h). The one place the model's lock times come from.
double LockTimeMs(Personality personality, const sim::Carrier &carrier, std::uint32_t search_range_khz);
// How long the driver's own blind algorithm takes to give up on an empty range, ms.
double BlindGiveUpMs(std::uint32_t search_range_khz);
// The level an ST tuner's AGC reads at its input with nothing locked, dBm: the noise and the
// carriers within the filter the driver sets for the symbol rate asked for, around the
// frequency tuned (IF, kHz).
double InputLevelDbm(std::uint32_t if_khz, std::uint32_t symbol_rate);

}  // namespace model
