#include "tuning.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frontend_api.h"

namespace dvb {

void ReportFailure(const FrontendEntry &entry, const Failure &failure) {
    if (failure.error == ENODEV || failure.error == ENXIO) {
        std::fprintf(stderr, "Lumorath DVB: %s has gone (%s failed: %s); check the card and its driver (dmesg)\n",
                     entry.path, failure.what, std::strerror(failure.error));
    } else {
        std::fprintf(stderr, "Lumorath DVB: %s: %s failed (%s); the search stops here, check the driver (dmesg)\n",
                     entry.path, failure.what, std::strerror(failure.error));
    }
}

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

Attempt SendTune(int fd, const TuneRequest &request, Failure *failure) {
    PropertyBatch batch;
    AddProperty(&batch, DTV_CLEAR);
    if (request.blind_range_khz != 0) {
        AddProperty(&batch, kDtvAlgorithm, kAlgorithmBlind);
        AddProperty(&batch, DTV_DELIVERY_SYSTEM, request.system);
        AddProperty(&batch, kDtvSearchRange, request.blind_range_khz * 1000u);
        AddProperty(&batch, DTV_SYMBOL_RATE, request.symbol_rate);
        AddProperty(&batch, DTV_FREQUENCY, request.if_khz);
    } else {
        AddProperty(&batch, DTV_DELIVERY_SYSTEM, request.system);
        AddProperty(&batch, DTV_FREQUENCY, request.if_khz);
        AddProperty(&batch, DTV_SYMBOL_RATE, request.symbol_rate);
        AddProperty(&batch, DTV_MODULATION, request.modulation);
        AddProperty(&batch, DTV_INNER_FEC, FEC_AUTO);
        AddProperty(&batch, DTV_ROLLOFF, ROLLOFF_AUTO);
        AddProperty(&batch, DTV_PILOT, PILOT_AUTO);
        AddProperty(&batch, DTV_INVERSION, INVERSION_AUTO);
    }
    AddProperty(&batch, DTV_STREAM_ID, NO_STREAM_ID_FILTER);
    AddProperty(&batch, DTV_TUNE);
    const int result = SetProperties(fd, &batch);
    // EINVAL: the driver refuses these values (a rate outside its range): try the next.
    if (result == -EINVAL) return Attempt::kRefused;
    if (result < 0) {
        *failure = {"tuning", -result};
        return Attempt::kFailed;
    }
    return Attempt::kNoLock;
}

Attempt WaitForLock(int fd, std::uint32_t start_ms, std::uint32_t timeout_ms, Failure *failure, std::uint32_t *lock_ms) {
    for (;;) {
        fe_status_t status = FE_NONE;
        const int result = Ops().ioctl(fd, FE_READ_STATUS, reinterpret_cast<std::uintptr_t>(&status));
        if (result < 0) {
            *failure = {"reading the lock status", -result};
            return Attempt::kFailed;
        }
        const std::uint32_t elapsed_ms = Ops().clock_ms() - start_ms;
        if ((status & FE_HAS_LOCK) != 0) {
            if (lock_ms != nullptr) *lock_ms = elapsed_ms;
            return Attempt::kLocked;
        }
        if ((status & FE_TIMEDOUT) != 0 || elapsed_ms >= timeout_ms) return Attempt::kNoLock;
        Ops().sleep_ms(kStatusPollMs);
    }
}

Attempt TryTune(int fd, const TuneRequest &request, std::uint32_t timeout_ms, Failure *failure, std::uint32_t *lock_ms) {
    const std::uint32_t start_ms = Ops().clock_ms();
    const Attempt sent = SendTune(fd, request, failure);
    if (sent != Attempt::kNoLock) return sent;
    return WaitForLock(fd, start_ms, timeout_ms, failure, lock_ms);
}

}  // namespace dvb
