#include "blind_search.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "candidate_rates.h"
#include "frontend_api.h"
#include "record_fill.h"
#include "tuner/lnb_band.h"
#include "tuning.h"

namespace dvb {

namespace {

// Waiting for a driver that searches blind by itself: blind-scan tools give such a tune
// 1.5 s; a driver with its own algorithm reports its end (FE_TIMEDOUT) and is bounded at 5 s.
constexpr std::uint32_t kBuiltinBlindTimeoutMs = 1500;
constexpr std::uint32_t kDriverBlindTimeoutMs = 5000;
// The blind algorithm is told the highest symbol rate it may meet (it sets the tuner's
// filter from it).
constexpr std::uint32_t kBlindMaxSymbolRate = 45000000;
// A driver that searches blind at every tune looks 5 MHz either side of it (stv0900_sw.c,
// a 10 MHz search range).
constexpr std::int64_t kBuiltinReachKhz = 5000;
// ST's searches at a known rate look 5 MHz either side above 10 MS/s and 2.5 MHz below
// (stv090x.c:1455-1462), and accept a carrier up to 500 kHz beyond that (stv090x.c:2643-2649).
constexpr std::uint32_t kWideFromSymbolRate = 10000000;
constexpr std::int64_t kWideReachKhz = 5000;
constexpr std::int64_t kNarrowReachKhz = 2500;
constexpr std::int64_t kReachSlackKhz = 500;
// The edges of a lock range are found to within a fifth of the symbol rate, at most this.
constexpr std::int64_t kEdgeResolutionKhz = 700;
// A lock range is followed this far at most (a row of same-rate carriers whose ranges run together).
constexpr std::int64_t kLongestRowKhz = 60000;
// The energy check: a tune at this rate and a level reading once ST's search at that rate
// has ended (about 0.2 s from 10 MS/s up, stv090x.c stv090x_get_coldlock; the core holds the
// frontend while the driver searches). The tuner's filter is then 1.5 x (1.35 x rate + 10 MHz)
// wide (stv090x.c:3222), 35.25 MHz.
constexpr std::uint32_t kEnergyProbeSymbolRate = 10000000;
constexpr std::uint32_t kEnergySettleMs = 200;
constexpr std::int64_t kEnergyWindowHalfKhz = 17625;
// A filter passes less near its edges: the top of the window is not taken as searched.
constexpr std::int64_t kFilterSkirtKhz = 3500;
// A step inside a wide carrier holds no narrow one: the likeliest wide rates are also tried
// two wide reaches above the step, before every narrow rate is tried at it.
constexpr int kLookAheadRates = 2;
// The parts of a range searched at one step, at most.
constexpr int kMaxPartsPerStep = 4;
// A gap below a carrier narrower than this holds none worth a tune.
constexpr std::int64_t kSmallestGapKhz = 1000;

std::uint32_t Bounded(std::uint32_t configured_ms, std::uint32_t default_ms) {
    return configured_ms != 0 ? configured_ms : default_ms;
}

// Drivers without an LNB supply or tone generator refuse those calls; that is not a failure.
bool Unsupported(int error) { return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS; }

// How a part of the search ended.
enum class Found {
    kNothing,
    kLocked,   // the record holds a carrier not handed over before, not yet handed over
    kCarrier,  // the record holds a carrier to hand over (noted as handed over)
    kPassed,   // a carrier not to hand over (handed over before, or too slow): look above it
    kFailed,   // a device call failed
};

// What the centre search learnt of a lock beyond its frequency.
struct CentreEstimate {
    std::uint32_t row_spacing_khz = 0, row_end_khz = 0;  // the row it belongs to
    std::uint32_t uncertainty_khz = 0;                    // of its centre
};

// A lock kept aside while the range below it is searched.
struct HeldLock {
    TransponderRecord record;
    CentreEstimate estimate;
};

struct Step {
    const FrontendEntry &entry;
    const DvbSettings &settings;
    SearchState &state;
    const StepRequest &request;
    LnbBand band;
    TransponderRecord *record;
    Failure failure;
    std::int64_t passed_top_khz = 0;  // upper edge of the carrier last passed
    CentreEstimate estimate = CentreEstimate();  // of the last lock
};

// A tune at a satellite frequency; refused when its IF is outside what the tuner takes.
Attempt TuneAt(Step &s, std::int64_t frequency_khz, TuneRequest *request, std::uint32_t timeout_ms,
               std::uint32_t *lock_ms) {
    if (frequency_khz <= 0) return Attempt::kRefused;
    const std::int64_t if_khz = LnbIntermediateKhz(s.band, static_cast<std::uint64_t>(frequency_khz));
    if (if_khz <= 0 || if_khz < static_cast<std::int64_t>(s.entry.frequency_min_khz) ||
        (s.entry.frequency_max_khz != 0 && if_khz > static_cast<std::int64_t>(s.entry.frequency_max_khz))) {
        return Attempt::kRefused;
    }
    request->if_khz = static_cast<std::uint32_t>(if_khz);
    return TryTune(s.state.sec.fd, *request, timeout_ms, &s.failure, lock_ms);
}

// A demodulator that measures the rate (m88ds3103.c:1337) tells a carrier from neighbours
// whose rates differ by more than this: one carrier's rate read again agrees far closer. A
// driver that echoes the rate asked for always agrees.
constexpr std::uint32_t kSameRatePermille = 5;

bool SameRate(std::uint32_t rate, std::uint32_t carrier_rate) {
    const std::uint32_t difference = rate > carrier_rate ? rate - carrier_rate : carrier_rate - rate;
    return difference <= static_cast<std::uint64_t>(carrier_rate) * kSameRatePermille / 1000;
}

// One probe of the centre search: kLocked, with `neighbour` set when the lock is a carrier of
// another rate than the one being centred.
Attempt ProbeAt(Step &s, std::int64_t frequency_khz, TuneRequest *probe, std::uint32_t timeout_ms, bool *neighbour) {
    *neighbour = false;
    const Attempt attempt = TuneAt(s, frequency_khz, probe, timeout_ms, nullptr);
    if (attempt != Attempt::kLocked) return attempt;
    PropertyBatch batch;
    AddProperty(&batch, DTV_SYMBOL_RATE);
    const int result = GetProperties(s.state.sec.fd, &batch);
    if (result < 0) {
        s.failure = {"reading the symbol rate", -result};
        return Attempt::kFailed;
    }
    const std::uint32_t rate = batch.props[0].u.data;
    *neighbour = rate != 0 && !SameRate(rate, s.record->symbol_rate);
    return attempt;
}

// Where the lock is lost, between `inside` (locks) and `outside` (not tried, taken as not
// locking), to within `resolution_khz`, by halving: offsets from the tuned frequency in the
// direction `sign`. With a guess, the first two probes go either side of it. A lock that holds
// up to `outside` pushes the search further out, up to `farthest_khz`.
Attempt FindEdge(Step &s, std::int64_t tuned_khz, std::int64_t sign, TuneRequest *probe, std::uint32_t timeout_ms,
                 std::int64_t resolution_khz, std::int64_t guess_khz, std::int64_t farthest_khz, std::int64_t *inside,
                 std::int64_t *outside) {
    const std::int64_t tries[2] = {guess_khz - resolution_khz / 2, guess_khz + resolution_khz / 2};
    int guessed = guess_khz > 0 ? 0 : 2;
    const std::int64_t span_khz = *outside - *inside;
    if (span_khz <= 0) return Attempt::kNoLock;
    for (;;) {
        const std::int64_t end_khz = *outside;
        while (*outside - *inside > resolution_khz) {
            std::int64_t at = (*inside + *outside) / 2;
            if (guessed < 2) {
                at = tries[guessed++];
                if (at <= *inside || at >= *outside) continue;
            }
            const Attempt attempt = TuneAt(s, tuned_khz + sign * at, probe, timeout_ms, nullptr);
            if (attempt == Attempt::kFailed) return attempt;
            (attempt == Attempt::kLocked ? *inside : *outside) = at;
            if (attempt != Attempt::kLocked) guessed = 2;
        }
        if (*outside != end_khz || *outside + span_khz > farthest_khz) return Attempt::kNoLock;
        // Locked right up to the end: is there more?
        const Attempt attempt = TuneAt(s, tuned_khz + sign * *outside, probe, timeout_ms, nullptr);
        if (attempt == Attempt::kFailed) return attempt;
        if (attempt != Attempt::kLocked) return Attempt::kNoLock;
        *inside = *outside;
        *outside += span_khz;
    }
}

// The carrier's centre when the driver echoes the frequency asked for: where the lock is lost
// above and below it, midway between (a demodulator captures alike either side of a carrier).
// The width of that range is the demodulator's capture, learnt from the carriers alone in it.
// A wider range is a row of same-rate neighbours whose lock ranges run together, which the
// lock cannot tell apart: its first carrier lies one capture above the lower end, its last one
// capture below the upper end, and those between are taken as evenly spaced, about 1.25
// symbol rates apart as rows are packed. Where the lower end hides in the range of a carrier
// handed over before, the row continues from that one (where the driver measures the rate,
// as long as the carrier the row places next has the rate of the one locked).
bool FindCentre(Step &s, const TuneRequest &locked, std::uint32_t lock_ms, std::uint32_t timeout_ms,
                std::int64_t reach_khz) {
    TransponderRecord &record = *s.record;
    const std::int64_t tuned_khz = record.frequency;
    const std::int64_t symbol_rate_khz = record.symbol_rate / 1000;
    TuneRequest probe = locked;
    probe.symbol_rate = record.symbol_rate;
    // The same carrier locks about as fast again.
    const std::uint32_t probe_timeout_ms = std::min(timeout_ms, lock_ms * 5 / 4 + 2 * kStatusPollMs);
    const std::int64_t resolution_khz = std::max<std::int64_t>(50, std::min<std::int64_t>(kEdgeResolutionKhz, symbol_rate_khz / 5));
    Capture &capture = s.state.captures[reach_khz > kNarrowReachKhz ? 1 : 0];
    const std::int64_t capture_khz = capture.count != 0 ? capture.sum_khz / capture.count : reach_khz;
    const std::int64_t span_khz = 2 * reach_khz + kReachSlackKhz;

    std::int64_t up_in = 0, up_out = span_khz;
    if (FindEdge(s, tuned_khz, 1, &probe, probe_timeout_ms, resolution_khz, 0, kLongestRowKhz, &up_in, &up_out) ==
        Attempt::kFailed) {
        return false;
    }
    const std::int64_t upper_khz = (up_in + up_out) / 2;

    // Below: down to the lock range of the highest carrier handed over below, at most.
    std::int64_t floor_khz = kLongestRowKhz;
    const KnownCarrier *below = nullptr;
    const PassMemory &memory = s.state.memory;
    for (int i = 0; i < memory.count; ++i) {
        const KnownCarrier &known = memory.carriers[i];
        const std::int64_t reach_top = static_cast<std::int64_t>(known.frequency_khz) + capture_khz + resolution_khz;
        // Only a carrier this attempt's rate also locks has a lock range here.
        const bool same_rate = known.symbol_rate / 20 * 19 <= record.symbol_rate && record.symbol_rate <= known.symbol_rate / 20 * 21;
        if (known.polarization != (s.request.polarization & 3u) || known.frequency_khz >= tuned_khz || !same_rate ||
            tuned_khz - reach_top >= floor_khz) {
            continue;
        }
        floor_khz = std::max<std::int64_t>(0, tuned_khz - reach_top);
        below = &known;
    }
    std::int64_t low_in = 0, low_out = std::min(span_khz, floor_khz);
    const std::int64_t guess_khz = capture.count != 0 ? 2 * capture_khz - upper_khz : 0;
    if (FindEdge(s, tuned_khz, -1, &probe, probe_timeout_ms, resolution_khz, guess_khz, floor_khz, &low_in, &low_out) ==
        Attempt::kFailed) {
        return false;
    }
    const std::int64_t lower_khz = (low_in + low_out) / 2;
    const bool hidden = below != nullptr && floor_khz - low_in <= resolution_khz;
    const std::int64_t width_khz = upper_khz + lower_khz;
    const std::int64_t tolerance_khz = 2 * resolution_khz + (capture.count != 0 ? 0 : 2 * kReachSlackKhz);
    std::int64_t centre_khz;
    s.estimate.row_spacing_khz = s.estimate.row_end_khz = 0;
    if (up_in == 0 && low_in == 0) {
        centre_khz = tuned_khz;  // locks only where tuned (a test driver): the frequency is exact
    } else if (!hidden && width_khz <= 2 * capture_khz + tolerance_khz) {
        centre_khz = tuned_khz + (upper_khz - lower_khz) / 2;
        capture.sum_khz += width_khz / 2;
        ++capture.count;
    } else {
        const std::int64_t end_khz = tuned_khz + upper_khz - capture_khz;
        const std::int64_t first_khz = hidden ? static_cast<std::int64_t>(below->frequency_khz) : tuned_khz - lower_khz + capture_khz;
        // A carrier whose lower end hides in the range of the one below lies at most two
        // captures above it: the upper end is its own if it lies that close.
        const bool single = hidden && end_khz <= first_khz + 2 * capture_khz + resolution_khz;
        std::int64_t spacing_khz = 0;
        if (single) {
            spacing_khz = end_khz - first_khz;
        } else if (hidden && below->row_spacing_khz != 0) {
            spacing_khz = below->row_spacing_khz;
        } else if (end_khz > first_khz) {
            // Rows are packed about 1.25 symbol rates apart (roll-off 0.2 to 0.35 and a little guard).
            const std::int64_t gaps =
                std::max<std::int64_t>(1, ((end_khz - first_khz) * 4 + symbol_rate_khz * 5 / 2) / (symbol_rate_khz * 5));
            spacing_khz = (end_khz - first_khz) / gaps;
        }
        centre_khz = hidden ? std::min(first_khz + std::max(spacing_khz, symbol_rate_khz), std::max(end_khz, first_khz + symbol_rate_khz))
                            : first_khz;
        // Where the driver measures the rate, the carrier the row places next must be the one
        // locked: a lock of another rate there says the row does not go on evenly, and the
        // carrier locked is the one at the upper end.
        if (hidden && !single && record.symbol_rate != locked.symbol_rate && centre_khz < end_khz) {
            bool neighbour = false;
            if (ProbeAt(s, centre_khz, &probe, probe_timeout_ms, &neighbour) == Attempt::kFailed) return false;
            if (neighbour) {
                centre_khz = end_khz;
                spacing_khz = end_khz - first_khz;
            }
        }
        s.estimate.row_spacing_khz = static_cast<std::uint32_t>(spacing_khz);
        s.estimate.row_end_khz = static_cast<std::uint32_t>(std::max(end_khz, centre_khz));
        s.estimate.uncertainty_khz = static_cast<std::uint32_t>(capture_khz / 2);
    }
    record.frequency = static_cast<std::uint32_t>(centre_khz);
    return true;
}

// Every lock passes here before its record can go back: the record filled from what the
// frontend reports and, where the driver echoes the frequency asked for, the carrier's true
// centre, or its own entry in the network's tables. False for a device failure.
bool FinishLock(Step &s, const TuneRequest &locked, std::uint32_t lock_ms, std::uint32_t timeout_ms,
                std::int64_t reach_khz) {
    const int result = FillRecord(s.state.sec.fd, s.entry, s.band, locked, s.request.polarization, s.record);
    if (result < 0) {
        s.failure = {"reading the tuning parameters", -result};
        return false;
    }
    // The level with a carrier in the window: what the noise floor must lie well below.
    double level_dbm = 0;
    if (s.entry.level_before_lock != LevelBeforeLock::kNone && ReadLevelDbm(s.state.sec.fd, s.entry, &level_dbm)) {
        NoteLockedLevel(&s.state.levels, LevelSlot(s.band.high_band, s.request.polarization), level_dbm);
    }
    s.estimate = CentreEstimate();
    const bool echoed = static_cast<std::int64_t>(s.record->frequency) == LnbSatelliteKhz(s.band, locked.if_khz);
    // The broadcast's own tables while the carrier is held; a carrier they list needs no
    // search for its centre.
    if (AfterLock(&s.state.tables, s.band, locked, s.record)) return true;
    if (echoed && s.entry.search == SearchKind::kSweep) return FindCentre(s, locked, lock_ms, timeout_ms, reach_khz);
    return true;
}

// Whether a finished lock is one to hand over: a carrier slower than the scan asks for is
// not, nor one handed over before (the search then goes on above it).
Found Judge(Step &s) {
    const TransponderRecord &record = *s.record;
    const KnownCarrier *known = CarrierAt(s.state.memory, s.request.polarization, record.frequency, s.estimate.uncertainty_khz);
    if (record.symbol_rate < s.request.min_symbol_rate || known != nullptr) {
        s.passed_top_khz = static_cast<std::int64_t>(record.frequency) + record.carrier_width / 2;
        return Found::kPassed;
    }
    return Found::kLocked;
}

// Hands the record over: noted, and the range searched up to its upper edge.
Found HandOver(Step &s) {
    const Found judged = Judge(s);
    if (judged != Found::kLocked) return judged;
    const TransponderRecord &record = *s.record;
    NoteCarrier(&s.state.memory, {record.frequency, record.carrier_width / 2, record.symbol_rate, s.request.polarization,
                                  s.estimate.row_spacing_khz, s.estimate.row_end_khz, s.estimate.uncertainty_khz});
    MarkSearched(&s.state.memory, s.request.polarization, static_cast<std::int64_t>(record.frequency) + record.carrier_width / 2);
    return Found::kCarrier;
}

// The systems one attempt after another asks for.
int SystemsToTry(const FrontendEntry &entry, TuneRequest *tries) {
    int count = 0;
    auto add = [&](std::uint32_t system, std::uint32_t modulation, bool certain) {
        tries[count] = TuneRequest();
        tries[count].system = system;
        tries[count].modulation = modulation;
        tries[count].system_certain = certain;
        tries[count].modulation_certain = certain && entry.plan == SystemPlan::kApartAndModulation;
        ++count;
    };
    if (entry.plan == SystemPlan::kTogether && entry.dvbs2) {
        add(SYS_DVBS2, QPSK, false);
        return count;
    }
    if (entry.dvbs) add(SYS_DVBS, QPSK, true);
    if (entry.dvbs2) add(SYS_DVBS2, QPSK, true);
    if (entry.dvbs2 && entry.plan == SystemPlan::kApartAndModulation) add(SYS_DVBS2, PSK_8, true);
    if (count == 0 && entry.dss) add(SYS_DSS, QPSK, true);
    return count;
}

// --- the driver's blind algorithm ----------------------------------------------------------

// The range a step either side of the step start, from the bottom up, one part of a step at
// a time: the driver takes the carrier nearest the middle of what it is given, so the part
// the program's stepping would skip (just above the last carrier) comes back first.
Found DriverBlindStep(Step &s) {
    const std::int64_t start_khz = s.request.frequency_khz;
    const std::int64_t part_khz = std::max<std::int64_t>(s.request.step_khz, 1000);
    std::int64_t low = start_khz - part_khz;
    const std::int64_t high = start_khz + part_khz;
    std::int64_t done_khz = 0;
    if (SearchedTo(s.state.memory, s.request.polarization, &done_khz)) low = std::max(low, std::min(done_khz, start_khz));
    TuneRequest request;
    request.system = kSysAuto;
    request.symbol_rate = s.entry.symbol_rate_max != 0 && s.entry.symbol_rate_max < kBlindMaxSymbolRate
                              ? s.entry.symbol_rate_max
                              : kBlindMaxSymbolRate;
    const std::uint32_t timeout_ms = Bounded(s.settings.lock_timeout_ms, kDriverBlindTimeoutMs);
    for (int part = 0; part < kMaxPartsPerStep && low < high; ++part) {
        const std::int64_t top = std::min(low + part_khz, high);
        request.blind_range_khz = static_cast<std::uint32_t>(top - low);
        std::uint32_t lock_ms = 0;
        const Attempt attempt = TuneAt(s, (low + top) / 2, &request, timeout_ms, &lock_ms);
        if (attempt == Attempt::kFailed) return Found::kFailed;
        if (attempt != Attempt::kLocked) {
            MarkSearched(&s.state.memory, s.request.polarization, top);
            low = top;
            continue;
        }
        if (!FinishLock(s, request, lock_ms, timeout_ms, (top - low) / 2)) return Found::kFailed;
        const Found found = HandOver(s);
        if (found != Found::kPassed) return found;
        low = std::max(low + kSmallestGapKhz, s.passed_top_khz);
    }
    return Found::kNothing;
}

// --- a driver that searches blind at every tune ------------------------------------------

// One tune at the step start. The driver takes the carrier nearest the frequency tuned, so a
// carrier it finds above that may hide one between the window's lower edge and it: one more
// tune in the middle of that gap, where anything in it is nearer than the carrier, brings
// that one back first. A carrier handed over before gets one more tune above it.
Found BuiltinBlindStep(Step &s) {
    TuneRequest tries[3];
    SystemsToTry(s.entry, tries);
    TuneRequest request = tries[0];
    // The rate is only a hint to such a driver; the least it may find.
    request.symbol_rate = std::max({s.request.min_symbol_rate, s.entry.symbol_rate_min, 1000000u});
    const std::uint32_t timeout_ms = Bounded(s.settings.lock_timeout_ms, kBuiltinBlindTimeoutMs);
    const std::int64_t start_khz = s.request.frequency_khz;
    std::uint32_t lock_ms = 0;
    Attempt attempt = TuneAt(s, start_khz, &request, timeout_ms, &lock_ms);
    if (attempt == Attempt::kFailed) return Found::kFailed;
    if (attempt != Attempt::kLocked) return Found::kNothing;
    if (!FinishLock(s, request, lock_ms, timeout_ms, kBuiltinReachKhz)) return Found::kFailed;
    const TransponderRecord first = *s.record;
    const std::int64_t window_low = start_khz - kBuiltinReachKhz;
    const std::int64_t edge_khz = static_cast<std::int64_t>(first.frequency) - first.carrier_width / 2;
    if (static_cast<std::int64_t>(first.frequency) > start_khz && edge_khz - window_low >= kSmallestGapKhz) {
        attempt = TuneAt(s, (window_low + edge_khz) / 2, &request, timeout_ms, &lock_ms);
        if (attempt == Attempt::kFailed) return Found::kFailed;
        if (attempt == Attempt::kLocked) {
            if (!FinishLock(s, request, lock_ms, timeout_ms, kBuiltinReachKhz)) return Found::kFailed;
            if (static_cast<std::int64_t>(s.record->frequency) < edge_khz && HandOver(s) == Found::kCarrier) {
                return Found::kCarrier;
            }
        }
        *s.record = first;
    }
    const Found found = HandOver(s);
    if (found != Found::kPassed) return found;
    const std::int64_t above_khz = s.passed_top_khz;
    const std::int64_t window_high = start_khz + kBuiltinReachKhz;
    if (window_high - above_khz < kSmallestGapKhz) return Found::kNothing;
    attempt = TuneAt(s, (above_khz + window_high) / 2, &request, timeout_ms, &lock_ms);
    if (attempt == Attempt::kFailed) return Found::kFailed;
    if (attempt != Attempt::kLocked) return Found::kNothing;
    if (!FinishLock(s, request, lock_ms, timeout_ms, kBuiltinReachKhz)) return Found::kFailed;
    return HandOver(s) == Found::kCarrier ? Found::kCarrier : Found::kNothing;
}

// --- the sweep over candidate rates -------------------------------------------------------

bool Wide(std::uint32_t symbol_rate) { return symbol_rate > kWideFromSymbolRate; }
std::int64_t ReachKhz(std::uint32_t symbol_rate) { return Wide(symbol_rate) ? kWideReachKhz : kNarrowReachKhz; }

// The candidates of one kind (wide or narrow, at most `limit`) tuned at one frequency, each
// with its systems, the likelier first, until one locks: a carrier not handed over before
// (kLocked, the record filled) or one that was (kPassed).
Found TryCandidates(Step &s, const CandidatePlan &plan, bool wide, int limit, std::int64_t frequency_khz) {
    TuneRequest tries[3];
    const int systems = SystemsToTry(s.entry, tries);
    int tried = 0;
    for (int c = 0; c < plan.count && tried < limit; ++c) {
        const Candidate &candidate = plan.items[c];
        if (Wide(candidate.symbol_rate) != wide) continue;
        ++tried;
        const std::uint32_t timeout_ms = Bounded(s.settings.lock_timeout_ms, SweepTimeoutMs(candidate.symbol_rate));
        for (int i = 0; i < systems; ++i) {
            // DVB-S first, unless most carriers at this rate are DVB-S2.
            const bool rotate = candidate.dvbs2_first && systems > 1 && tries[0].system == SYS_DVBS;
            TuneRequest request = tries[rotate ? (i + 1) % systems : i];
            request.symbol_rate = candidate.symbol_rate;
            std::uint32_t lock_ms = 0;
            const Attempt attempt = TuneAt(s, frequency_khz, &request, timeout_ms, &lock_ms);
            if (attempt == Attempt::kFailed) return Found::kFailed;
            if (attempt != Attempt::kLocked) continue;
            if (!FinishLock(s, request, lock_ms, timeout_ms, ReachKhz(candidate.symbol_rate))) return Found::kFailed;
            return Judge(s);
        }
    }
    return Found::kNothing;
}

enum class Energy { kAbsent, kPresent, kLocked, kFailed };

// One tune at the probe rate with the filter's lower edge at `low_khz`, and a level reading
// after it: kAbsent when the window holds no energy. The probe may lock a carrier of its rate.
Energy ReadWindow(Step &s, std::int64_t low_khz) {
    TuneRequest tries[3];
    SystemsToTry(s.entry, tries);
    TuneRequest probe = tries[0];
    probe.symbol_rate = kEnergyProbeSymbolRate;
    std::uint32_t lock_ms = 0;
    const Attempt attempt = TuneAt(s, low_khz + kEnergyWindowHalfKhz, &probe, kEnergySettleMs, &lock_ms);
    if (attempt == Attempt::kFailed) return Energy::kFailed;
    if (attempt == Attempt::kRefused) return Energy::kPresent;
    if (attempt == Attempt::kLocked) {
        if (!FinishLock(s, probe, lock_ms, SweepTimeoutMs(probe.symbol_rate), ReachKhz(probe.symbol_rate))) {
            return Energy::kFailed;
        }
        return Judge(s) == Found::kLocked ? Energy::kLocked : Energy::kPresent;
    }
    double level_dbm = 0;
    if (!ReadLevelDbm(s.state.sec.fd, s.entry, &level_dbm)) return Energy::kPresent;
    const int slot = LevelSlot(s.band.high_band, s.request.polarization);
    NoteLevel(&s.state.levels, slot, level_dbm);
    return NoEnergy(s.state.levels, slot, level_dbm) ? Energy::kAbsent : Energy::kPresent;
}

// Whether the step's range can hold a carrier, by the level in two windows: one from the
// bottom of the range up (empty: the range and what lies above it up to `clear_to_khz` are
// searched), and, for the narrow rates, one ending just above their reach (empty: the
// step's range is). The second is skipped where a carrier handed over below would light it.
Energy CheckEnergy(Step &s, std::int64_t from_khz, bool narrow_rates, std::int64_t *clear_to_khz) {
    Energy energy = ReadWindow(s, from_khz);
    if (energy == Energy::kAbsent) *clear_to_khz = from_khz + 2 * kEnergyWindowHalfKhz - kFilterSkirtKhz;
    if (energy != Energy::kPresent || !narrow_rates) return energy;
    const std::int64_t top_khz = static_cast<std::int64_t>(s.request.frequency_khz) + kNarrowReachKhz + kFilterSkirtKhz;
    const std::int64_t low_khz = top_khz - 2 * kEnergyWindowHalfKhz;
    if (low_khz >= from_khz || FirstCarrierIn(s.state.memory, s.request.polarization, low_khz, from_khz) != nullptr) {
        return energy;
    }
    energy = ReadWindow(s, low_khz);
    if (energy == Energy::kAbsent) *clear_to_khz = top_khz - kFilterSkirtKhz;
    return energy;
}

// The narrowest carrier the step may find: a gap narrower holds none worth a tune.
std::int64_t SmallestCarrierKhz(const Step &s) {
    return std::max<std::int64_t>(kSmallestGapKhz, std::max(s.request.min_symbol_rate, s.entry.symbol_rate_min) / 1000);
}

// --- carriers the network's tables list ---------------------------------------------------

// A gap narrower than this holds no wide carrier (its rate in MHz at zero roll-off).
constexpr std::int64_t kNarrowestWideKhz = kWideFromSymbolRate / 1000;

// The attempt that asks for the listed system: of those the driver tunes apart the one with
// the listed system and constellation, else the driver's own choice.
TuneRequest ListedSystem(const FrontendEntry &entry, const SatelliteDelivery &listed) {
    TuneRequest tries[3];
    const int systems = SystemsToTry(entry, tries);
    const std::uint32_t system = listed.system == 2 ? SYS_DVBS2 : SYS_DVBS;
    const std::uint32_t modulation = listed.constellation == 2 ? PSK_8 : QPSK;
    for (int i = 0; i < systems; ++i) {
        if (tries[i].system_certain && tries[i].system == system &&
            (!tries[i].modulation_certain || tries[i].modulation == modulation)) {
            return tries[i];
        }
    }
    return tries[0];
}

// One tune at a listed carrier's own frequency, rate and system: kLocked when it locks a
// carrier not handed over before (the record filled).
Found TuneListed(Step &s, const SatelliteDelivery &listed) {
    TuneRequest request = ListedSystem(s.entry, listed);
    request.symbol_rate = listed.symbol_rate;
    const std::uint32_t timeout_ms = Bounded(s.settings.lock_timeout_ms, SweepTimeoutMs(listed.symbol_rate));
    std::uint32_t lock_ms = 0;
    const Attempt attempt = TuneAt(s, listed.frequency_khz, &request, timeout_ms, &lock_ms);
    if (attempt == Attempt::kFailed) return Found::kFailed;
    if (attempt != Attempt::kLocked) return Found::kNothing;
    HintLocked(&s.state.tables);
    if (!FinishLock(s, request, lock_ms, timeout_ms, ReachKhz(listed.symbol_rate))) return Found::kFailed;
    return Judge(s);
}

// The listed carriers due (NextHint), the lowest first, until one locks a carrier not handed
// over before: that one is handed over.
Found TryHints(Step &s, std::int64_t from_khz, std::int64_t to_khz, std::int64_t edge_khz) {
    SatelliteDelivery hint;
    while (NextHint(&s.state.tables, s.entry, s.settings, s.request, from_khz, to_khz, edge_khz, &hint)) {
        const Found found = TuneListed(s, hint);
        if (found == Found::kFailed) return found;
        if (found == Found::kLocked) return HandOver(s);
    }
    return Found::kNothing;
}

// Hands over the lock held, unless a listed carrier between `from_khz` and it locks first:
// the lowest carrier goes first, or the program's stepping would pass the other.
Found HandOverLowest(Step &s, std::int64_t from_khz, const HeldLock &held) {
    const std::int64_t centre_khz = held.record.frequency;
    const Found hinted = TryHints(s, from_khz, centre_khz, centre_khz - held.record.carrier_width / 2);
    if (hinted != Found::kNothing) return hinted;
    *s.record = held.record;
    s.estimate = held.estimate;
    return HandOver(s);
}

// The candidate rates over the range from `from_khz` to a narrow reach above the step start.
// Where the driver reads a level before a lock, a window without energy from there up clears
// the range (and the steps after it) at once. Wide rates, which are cheap and reach far, go
// first, at the step start and two reaches above it; a wide carrier found (or `first`, a
// listed carrier locked already) ends the range at its lower edge. The narrow rates then
// search what is left, one narrow reach either side of each tune, from the bottom up; the
// lowest carrier found is handed over. When none is, `reached_khz` gets how far up the range
// holds nothing the rates find.
Found SearchRates(Step &s, const std::int64_t from_khz, const HeldLock *first, std::int64_t *reached_khz) {
    const unsigned polarization = s.request.polarization;
    const std::int64_t start_khz = s.request.frequency_khz;
    CandidatePlan plan;
    PlanCandidates(s.entry, s.settings, s.settings.depth, s.request.frequency_khz, s.request.min_symbol_rate, &plan);
    bool narrow_rates = false;
    for (int c = 0; c < plan.count; ++c) narrow_rates = narrow_rates || !Wide(plan.items[c].symbol_rate);

    Found wide = first != nullptr ? Found::kLocked : Found::kNothing;
    if (first == nullptr && s.entry.level_before_lock != LevelBeforeLock::kNone) {
        std::int64_t clear_to_khz = 0;
        switch (CheckEnergy(s, from_khz, narrow_rates, &clear_to_khz)) {
            case Energy::kFailed: return Found::kFailed;
            case Energy::kAbsent:
                MarkSearched(&s.state.memory, polarization, clear_to_khz);
                *reached_khz = clear_to_khz;
                return Found::kNothing;
            case Energy::kLocked: wide = Found::kLocked; break;
            case Energy::kPresent: break;
        }
    }
    if (wide == Found::kNothing) wide = TryCandidates(s, plan, true, kMaxCandidates, start_khz);
    if (wide == Found::kPassed) wide = Found::kNothing;
    const bool after_carrier = FirstCarrierIn(s.state.memory, polarization, from_khz - 1, from_khz) != nullptr;
    if (wide == Found::kNothing && (narrow_rates || (after_carrier && s.entry.level_before_lock != LevelBeforeLock::kNone))) {
        wide = TryCandidates(s, plan, true, kLookAheadRates, start_khz + 2 * kWideReachKhz);
        if (wide == Found::kPassed) wide = Found::kNothing;
    }
    if (wide == Found::kFailed) return wide;

    std::int64_t top_khz = start_khz + kNarrowReachKhz;
    HeldLock held{};
    if (wide == Found::kLocked) {
        held = first != nullptr ? *first : HeldLock{*s.record, s.estimate};
        top_khz = static_cast<std::int64_t>(held.record.frequency) - held.record.carrier_width / 2;
    }
    // Without narrow rates nothing narrower than the wide ones is ever found: they looked a
    // wide reach either side of the step start.
    *reached_khz = narrow_rates ? from_khz : start_khz + kWideReachKhz;
    const std::int64_t smallest_khz = SmallestCarrierKhz(s);
    std::int64_t low_khz = from_khz;
    for (int part = 0; part < kMaxPartsPerStep && narrow_rates && top_khz - low_khz >= smallest_khz; ++part) {
        const std::int64_t tune_khz = low_khz + kNarrowReachKhz;
        const Found narrow = TryCandidates(s, plan, false, kMaxCandidates, tune_khz);
        if (narrow == Found::kFailed) return narrow;
        if (narrow == Found::kLocked) return HandOverLowest(s, from_khz, HeldLock{*s.record, s.estimate});
        low_khz = narrow == Found::kPassed ? std::max(low_khz + smallest_khz, s.passed_top_khz) : tune_khz + kNarrowReachKhz;
        *reached_khz = std::min(low_khz, top_khz);
        MarkSearched(&s.state.memory, polarization, *reached_khz);
    }
    // The wide carrier goes over once nothing can lie below it.
    if (wide != Found::kLocked || (narrow_rates && top_khz - low_khz >= smallest_khz)) return Found::kNothing;
    return HandOverLowest(s, from_khz, held);
}

// The step's range runs from where the last search stopped (just above a carrier found, the
// gap the program's step leaves) upwards. A carrier the network's tables list is tuned at its
// own parameters as soon as nothing unsearched lies below it that the rates could find: at
// the step's start when no wide carrier fits below it (the narrow rates then search the gap
// before it goes over), before a carrier found above it goes over, and after the rates have
// searched up to it.
Found SweepStep(Step &s) {
    const std::int64_t start_khz = s.request.frequency_khz;
    std::int64_t from_khz = start_khz - kNarrowReachKhz;
    std::int64_t done_khz = 0;
    const std::int64_t step_khz = std::max<std::int64_t>(s.request.step_khz, kNarrowReachKhz);
    if (SearchedTo(s.state.memory, s.request.polarization, &done_khz) && done_khz >= start_khz - step_khz) {
        from_khz = done_khz;
    }
    Found found = Found::kNothing;
    SatelliteDelivery hint;
    while (NextHint(&s.state.tables, s.entry, s.settings, s.request, from_khz, INT64_MAX, from_khz + kNarrowestWideKhz,
                    &hint)) {
        found = TuneListed(s, hint);
        if (found == Found::kFailed) return found;
        if (found == Found::kLocked) break;
        found = Found::kNothing;
    }
    std::int64_t reached_khz = from_khz;
    if (found == Found::kLocked) {
        const HeldLock listed{*s.record, s.estimate};
        found = SearchRates(s, from_khz, &listed, &reached_khz);
        // A carrier found below it goes first: the listed one is due again above that.
        if (found != Found::kCarrier || s.record->frequency != listed.record.frequency) HintAgain(&s.state.tables, hint);
        if (found != Found::kNothing) return found;
    } else if (from_khz < start_khz + kNarrowReachKhz) {  // else the range is searched already
        found = SearchRates(s, from_khz, nullptr, &reached_khz);
        if (found != Found::kNothing) return found;
    }
    return TryHints(s, from_khz, INT64_MAX, reached_khz + SmallestCarrierKhz(s));
}

}  // namespace

std::uint32_t SweepStepMs(const FrontendEntry &entry, const DvbSettings &settings, Depth depth,
                          std::uint32_t frequency_khz, std::uint32_t min_symbol_rate, std::uint32_t *no_energy_ms) {
    CandidatePlan plan;
    PlanCandidates(entry, settings, depth, frequency_khz, min_symbol_rate, &plan);
    TuneRequest tries[3];
    const std::uint32_t systems = static_cast<std::uint32_t>(SystemsToTry(entry, tries));
    std::uint32_t total_ms = 0, wide_ms = 0;
    int wide = 0;
    bool narrow_rates = false;
    for (int c = 0; c < plan.count; ++c) {
        const std::uint32_t attempt_ms = Bounded(settings.lock_timeout_ms, SweepTimeoutMs(plan.items[c].symbol_rate));
        total_ms += systems * attempt_ms;
        if (Wide(plan.items[c].symbol_rate) && wide++ < kLookAheadRates) wide_ms += systems * attempt_ms;
        narrow_rates = narrow_rates || !Wide(plan.items[c].symbol_rate);
    }
    if (narrow_rates) total_ms += wide_ms;  // the look-ahead
    *no_energy_ms = 0;
    if (entry.level_before_lock != LevelBeforeLock::kNone) {
        *no_energy_ms = kEnergySettleMs;
        total_ms += kEnergySettleMs;
    }
    return total_ms;
}

int SearchStep(const FrontendEntry &entry, const DvbSettings &settings, SearchState *state, const StepRequest &step,
               TransponderRecord *record) {
    std::memset(record, 0, sizeof *record);
    const LnbBand band = SelectLnbBand(step.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                       step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
    if (!band.present) return 1;  // this band has no oscillator: nothing to find
    SecState *sec = &state->sec;
    if (!sec->switch_in_use && !PrepareLnb(sec, step.polarization, band.high_band, band.stacked) &&
        !Unsupported(sec->last_error)) {
        ReportFailure(entry, {"setting the LNB supply or tone", sec->last_error});
        return 0;
    }
    const std::int64_t if_khz = LnbIntermediateKhz(band, step.frequency_khz);
    if (if_khz < static_cast<std::int64_t>(entry.frequency_min_khz) ||
        (entry.frequency_max_khz != 0 && if_khz > static_cast<std::int64_t>(entry.frequency_max_khz)) || if_khz <= 0) {
        return 1;  // outside what the tuner takes
    }
    if (BeginStep(&state->memory, step.polarization, step.frequency_khz)) NewTablesPass(&state->tables);

    Step s{entry, settings, *state, step, band, record, Failure()};
    Found found = Found::kNothing;
    switch (entry.search) {
        case SearchKind::kDriverBlind: found = DriverBlindStep(s); break;
        case SearchKind::kBuiltinBlind: found = BuiltinBlindStep(s); break;
        case SearchKind::kSweep: found = SweepStep(s); break;
    }
    if (found == Found::kFailed) {
        ReportFailure(entry, s.failure);
        std::memset(record, 0, sizeof *record);
        return 0;
    }
    if (found != Found::kCarrier) std::memset(record, 0, sizeof *record);
    return 1;
}

}  // namespace dvb
