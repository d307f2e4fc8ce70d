#include "blind_search.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frontend_api.h"
#include "record_fill.h"
#include "tuner/lnb_band.h"

namespace dvb {

namespace {

// Waiting for a driver that searches blind by itself: blind-scan tools give such a tune
// 1.5 s; a driver with its own algorithm reports its end (FE_TIMEDOUT) and is bounded at 5 s.
constexpr std::uint32_t kBuiltinBlindTimeoutMs = 1500;
constexpr std::uint32_t kDriverBlindTimeoutMs = 5000;
// The blind algorithm is told the highest symbol rate it may meet (it sets the tuner's
// filter from it); its search range is the whole width around the tuned frequency.
constexpr std::uint32_t kBlindMaxSymbolRate = 45000000;

enum class Attempt { kLocked, kNoLock, kRefused, kFailed };

struct Failure {
    const char *what = "";
    int error = 0;
};

void ReportFailure(const FrontendEntry &entry, const Failure &failure) {
    if (failure.error == ENODEV || failure.error == ENXIO) {
        std::fprintf(stderr, "Lumorath DVB: %s has gone (%s failed: %s); check the card and its driver (dmesg)\n",
                     entry.path, failure.what, std::strerror(failure.error));
    } else {
        std::fprintf(stderr, "Lumorath DVB: %s: %s failed (%s); the search stops here, check the driver (dmesg)\n",
                     entry.path, failure.what, std::strerror(failure.error));
    }
}

// Drivers without an LNB supply or tone generator refuse those calls; that is not a failure.
bool Unsupported(int error) { return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS; }

std::uint32_t Bounded(std::uint32_t configured_ms, std::uint32_t default_ms) {
    return configured_ms != 0 ? configured_ms : default_ms;
}

Attempt WaitForLock(int fd, std::uint32_t timeout_ms, Failure *failure) {
    const std::uint32_t start_ms = Ops().clock_ms();
    for (;;) {
        fe_status_t status = FE_NONE;
        const int result = Ops().ioctl(fd, FE_READ_STATUS, reinterpret_cast<std::uintptr_t>(&status));
        if (result < 0) {
            *failure = {"reading the lock status", -result};
            return Attempt::kFailed;
        }
        if ((status & FE_HAS_LOCK) != 0) return Attempt::kLocked;
        if ((status & FE_TIMEDOUT) != 0) return Attempt::kNoLock;
        if (Ops().clock_ms() - start_ms >= timeout_ms) return Attempt::kNoLock;
        Ops().sleep_ms(kStatusPollMs);
    }
}

Attempt Tune(int fd, PropertyBatch *batch, std::uint32_t timeout_ms, Failure *failure) {
    AddProperty(batch, DTV_TUNE);
    const int result = SetProperties(fd, batch);
    // EINVAL: the driver refuses these values (a rate outside its range): try the next.
    if (result == -EINVAL) return Attempt::kRefused;
    if (result < 0) {
        *failure = {"tuning", -result};
        return Attempt::kFailed;
    }
    return WaitForLock(fd, timeout_ms, failure);
}

// One attempt of a sweep: the rate and system given, everything else automatic, every
// input stream passed.
Attempt SweepAttempt(int fd, const TuneRequest &request, std::uint32_t timeout_ms, Failure *failure) {
    PropertyBatch batch;
    AddProperty(&batch, DTV_CLEAR);
    AddProperty(&batch, DTV_DELIVERY_SYSTEM, request.system);
    AddProperty(&batch, DTV_FREQUENCY, request.if_khz);
    AddProperty(&batch, DTV_SYMBOL_RATE, request.symbol_rate);
    AddProperty(&batch, DTV_MODULATION, request.modulation);
    AddProperty(&batch, DTV_INNER_FEC, FEC_AUTO);
    AddProperty(&batch, DTV_ROLLOFF, ROLLOFF_AUTO);
    AddProperty(&batch, DTV_PILOT, PILOT_AUTO);
    AddProperty(&batch, DTV_INVERSION, INVERSION_AUTO);
    AddProperty(&batch, DTV_STREAM_ID, NO_STREAM_ID_FILTER);
    return Tune(fd, &batch, timeout_ms, failure);
}

Attempt DriverBlindAttempt(int fd, const TuneRequest &request, std::uint32_t range_khz, std::uint32_t timeout_ms,
                           Failure *failure) {
    PropertyBatch batch;
    AddProperty(&batch, DTV_CLEAR);
    AddProperty(&batch, kDtvAlgorithm, kAlgorithmBlind);
    AddProperty(&batch, DTV_DELIVERY_SYSTEM, request.system);
    AddProperty(&batch, kDtvSearchRange, range_khz * 1000u);
    AddProperty(&batch, DTV_SYMBOL_RATE, request.symbol_rate);
    AddProperty(&batch, DTV_FREQUENCY, request.if_khz);
    AddProperty(&batch, DTV_STREAM_ID, NO_STREAM_ID_FILTER);
    return Tune(fd, &batch, timeout_ms, failure);
}

// The systems one sweep attempt after another asks for.
int SystemsToTry(const FrontendEntry &entry, TuneRequest *tries) {
    int count = 0;
    auto add = [&](std::uint32_t system, std::uint32_t modulation, bool certain) {
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

bool RateAllowed(const FrontendEntry &entry, std::uint32_t symbol_rate, std::uint32_t min_symbol_rate) {
    if (symbol_rate < min_symbol_rate || symbol_rate < entry.symbol_rate_min) return false;
    return entry.symbol_rate_max == 0 || symbol_rate <= entry.symbol_rate_max;
}

}  // namespace

std::uint32_t SweepTimeoutMs(std::uint32_t symbol_rate) {
    // Source: linux drivers/media/dvb-frontends/stv0910.c, start(): demodulator plus FEC timeout.
    struct Row {
        std::uint32_t from_symbol_rate;
        std::uint32_t timeout_ms;
    };
    static const Row kRows[] = {
        {20000000, 500}, {10000000, 600}, {5000000, 1050}, {2000000, 1650}, {1000001, 3800}, {0, 5000},
    };
    for (const Row &row : kRows) {
        if (symbol_rate >= row.from_symbol_rate) return row.timeout_ms;
    }
    return 5000;
}

int SearchStep(const FrontendEntry &entry, const DvbSettings &settings, SecState *sec, const StepRequest &step,
               TransponderRecord *record) {
    std::memset(record, 0, sizeof *record);
    const LnbBand band = SelectLnbBand(step.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                       step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
    if (!band.present) return 1;  // this band has no oscillator: nothing to find
    if (!sec->switch_in_use && !PrepareLnb(sec, step.polarization, band.high_band, band.stacked) &&
        !Unsupported(sec->last_error)) {
        ReportFailure(entry, {"setting the LNB supply or tone", sec->last_error});
        return 0;
    }
    // The demodulator is tuned to the step start and searches around it. The program's next
    // step starts a step above a found carrier's upper edge, so a search reaching a step
    // either side covers the band without a gap and never meets the same carrier twice.
    const std::int64_t if_khz = LnbIntermediateKhz(band, step.frequency_khz);
    if (if_khz < static_cast<std::int64_t>(entry.frequency_min_khz) ||
        (entry.frequency_max_khz != 0 && if_khz > static_cast<std::int64_t>(entry.frequency_max_khz)) || if_khz <= 0) {
        return 1;  // outside what the tuner takes
    }

    Failure failure;
    TuneRequest tries[3];
    const int fd = sec->fd;
    if (entry.search != SearchKind::kSweep) {
        TuneRequest request;
        request.if_khz = static_cast<std::uint32_t>(if_khz);
        std::uint32_t timeout_ms;
        Attempt attempt;
        if (entry.search == SearchKind::kDriverBlind) {
            request.system = kSysAuto;
            request.symbol_rate = entry.symbol_rate_max != 0 && entry.symbol_rate_max < kBlindMaxSymbolRate
                                      ? entry.symbol_rate_max
                                      : kBlindMaxSymbolRate;
            timeout_ms = Bounded(settings.lock_timeout_ms, kDriverBlindTimeoutMs);
            attempt = DriverBlindAttempt(fd, request, 2u * step.step_khz, timeout_ms, &failure);
        } else {
            SystemsToTry(entry, tries);
            request.system = tries[0].system;
            request.modulation = tries[0].modulation;
            // The rate is only a hint to such a driver; the least it may find.
            request.symbol_rate = step.min_symbol_rate > entry.symbol_rate_min ? step.min_symbol_rate : entry.symbol_rate_min;
            if (request.symbol_rate < 1000000) request.symbol_rate = 1000000;
            timeout_ms = Bounded(settings.lock_timeout_ms, kBuiltinBlindTimeoutMs);
            attempt = SweepAttempt(fd, request, timeout_ms, &failure);
        }
        if (attempt == Attempt::kFailed) {
            ReportFailure(entry, failure);
            return 0;
        }
        if (attempt != Attempt::kLocked) return 1;
        const int result = FillRecord(fd, entry, band, request, step.polarization, record);
        if (result < 0) {
            ReportFailure(entry, {"reading the tuning parameters", -result});
            return 0;
        }
        // A carrier below the least rate asked for is not one the scan wants.
        if (record->symbol_rate < step.min_symbol_rate) std::memset(record, 0, sizeof *record);
        return 1;
    }

    const CandidateList &candidates = step.frequency_khz < kCBandTopKhz ? settings.c_band : settings.ku;
    const int systems = SystemsToTry(entry, tries);
    for (int c = 0; c < candidates.count; ++c) {
        const std::uint32_t symbol_rate = candidates.rates_ks[c] * 1000u;
        if (!RateAllowed(entry, symbol_rate, step.min_symbol_rate)) continue;
        const std::uint32_t timeout_ms = Bounded(settings.lock_timeout_ms, SweepTimeoutMs(symbol_rate));
        for (int s = 0; s < systems; ++s) {
            TuneRequest request = tries[s];
            request.if_khz = static_cast<std::uint32_t>(if_khz);
            request.symbol_rate = symbol_rate;
            const Attempt attempt = SweepAttempt(fd, request, timeout_ms, &failure);
            if (attempt == Attempt::kFailed) {
                ReportFailure(entry, failure);
                return 0;
            }
            if (attempt != Attempt::kLocked) continue;
            const int result = FillRecord(fd, entry, band, request, step.polarization, record);
            if (result < 0) {
                ReportFailure(entry, {"reading the tuning parameters", -result});
                return 0;
            }
            return 1;
        }
    }
    return 1;
}

}  // namespace dvb
