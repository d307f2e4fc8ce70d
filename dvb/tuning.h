// One tune of the frontend and the wait for its lock: the attempts every search is made of.
#pragma once

#include <cstdint>

#include "device_list.h"

namespace dvb {

// What one attempt asks the frontend for.
struct TuneRequest {
    std::uint32_t if_khz = 0;
    std::uint32_t symbol_rate = 0;  // S/s; for a blind algorithm the highest it may meet
    std::uint32_t system = 0;       // SYS_DVBS, SYS_DVBS2 or the driver's automatic system
    std::uint32_t modulation = 0;   // QPSK, or PSK_8 where it must be said
    bool system_certain = false;    // a lock proves the system (DVB-S and DVB-S2 tried apart)
    bool modulation_certain = false;
    std::uint32_t blind_range_khz = 0;  // nonzero: the driver's blind algorithm over this range
};

// Polling interval of the lock status, ms.
constexpr std::uint32_t kStatusPollMs = 20;

enum class Attempt { kLocked, kNoLock, kRefused, kFailed };

// A device call that failed, for the one line on standard error.
struct Failure {
    const char *what = "";
    int error = 0;
};
void ReportFailure(const FrontendEntry &entry, const Failure &failure);

// How long one attempt at a known rate waits for a lock, ms: the timeouts ST's demodulators
// use for a search at a known rate (linux stv0910.c, start()).
std::uint32_t SweepTimeoutMs(std::uint32_t symbol_rate);

// Sends the tune: for a known rate the rate and system given and everything else automatic;
// for the blind algorithm its algorithm and range. Every input stream is passed.
Attempt SendTune(int fd, const TuneRequest &request, Failure *failure);
// Polls the lock status until a lock, the driver's own end of search (FE_TIMEDOUT) or
// `timeout_ms` from `start_ms`; `lock_ms` gets the time to the lock.
Attempt WaitForLock(int fd, std::uint32_t start_ms, std::uint32_t timeout_ms, Failure *failure,
                    std::uint32_t *lock_ms = nullptr);
// Both: one attempt.
Attempt TryTune(int fd, const TuneRequest &request, std::uint32_t timeout_ms, Failure *failure,
                std::uint32_t *lock_ms = nullptr);

}  // namespace dvb
