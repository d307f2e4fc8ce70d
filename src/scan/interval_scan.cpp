#include "scan/interval_scan.h"

#include <cstdint>

#include "dish/committed_switch.h"
#include "platform/platform.h"
#include "record/link_margin.h"
#include "record/value_names.h"
#include "scan/next_step.h"
#include "scan/scan_progress.h"
#include "tuner/lnb_band.h"
#include "tuner/tuner_library.h"

namespace {

// Two carriers on one polarization closer than this are the same transponder.
constexpr std::int32_t kDuplicateDistanceKhz = 1000;

constexpr int kNoBandSent = -1;

bool IsDuplicate(const TransponderRecord &candidate, const TransponderRecord *held, std::uint32_t held_count) {
    for (std::uint32_t i = 0; i < held_count; ++i) {
        // The difference is taken as a signed 32-bit value, as the tuner's frequencies wrap.
        const std::int32_t distance = static_cast<std::int32_t>(candidate.frequency - held[i].frequency);
        if (distance > -kDuplicateDistanceKhz && distance < kDuplicateDistanceKhz &&
            candidate.polarization == held[i].polarization) {
            return true;
        }
    }
    return false;
}

void PrintFooter(std::uint32_t interval_start_ms) {
    const double interval_time_s = static_cast<double>(Platform().clock_ms() - interval_start_ms) / 1000.0;
    static const char kRule[] = "--------------------------------------------------------------------------------\n";
    Print("%s", kRule);
    Print("Scan Time = %3.3fs\n", interval_time_s);
    Print("%s", kRule);
}

}  // namespace

bool StopKeysHeld() { return Platform().key_held(kKeyLeftControl) && Platform().key_held(kKeyA); }

int ScanInterval(std::uint32_t start_mhz, std::uint32_t found_count, TransponderRecord *records, int *stop_flag,
                 std::uint32_t switch_port, std::uint32_t stop_mhz, std::uint32_t step_mhz, std::uint32_t lof1_mhz,
                 std::uint32_t lof2_mhz, std::uint32_t lofsw_mhz, std::uint32_t polarization,
                 std::uint32_t min_symbol_rate_ks, std::uint32_t max_symbol_rate_ks, double min_snr1_db,
                 double min_snr2_db, std::uint32_t *published_count) {
    // A step of 0 would search the same frequency for ever.
    if (records == nullptr || stop_flag == nullptr || polarization > 3 || step_mhz == 0) return kScanBadArguments;
    *stop_flag = 0;
    Print("From %u to %u Mhz, Step %u Mhz, %s, Minimal SR %u KS, Maximal SR %u KS\n", start_mhz, stop_mhz, step_mhz,
          PolarizationName(static_cast<std::int32_t>(polarization)), min_symbol_rate_ks, max_symbol_rate_ks);
    const std::uint32_t interval_start_ms = Platform().clock_ms();

    // The step start runs in 64 bits so that no stop frequency can make it wrap around.
    std::uint64_t step_start_khz = static_cast<std::uint64_t>(start_mhz) * 1000u;
    std::uint64_t end_khz = static_cast<std::uint64_t>(stop_mhz) * 1000u;
    if (end_khz > UINT32_MAX) end_khz = UINT32_MAX;
    const std::uint32_t step_khz = step_mhz * 1000u;
    const std::uint32_t lof1_khz = lof1_mhz * 1000u;
    const std::uint32_t lof2_khz = lof2_mhz * 1000u;
    const std::uint32_t lofsw_khz = lofsw_mhz * 1000u;
    const std::uint32_t min_symbol_rate = min_symbol_rate_ks * 1000u;
    const std::uint64_t symbol_rate_ceiling = static_cast<std::uint64_t>(max_symbol_rate_ks) * 1000u;
    const bool switch_port_set = switch_port >= 1 && switch_port <= 4;
    int band_sent = kNoBandSent;
    std::uint32_t accepted = 0;

    while (step_start_khz <= end_khz) {
        const std::uint32_t held = found_count + accepted;
        if (held >= kMaxTransponders) {
            Print("Transponder table full (%u transponders), the scan ends here !\n", kMaxTransponders);
            break;
        }
        TransponderRecord *slot = &records[held];
        const std::uint32_t step_start_ms = Platform().clock_ms();
        Print("%u Mhz ... ", static_cast<std::uint32_t>(step_start_khz / 1000u));

        if (switch_port_set && (Tuner().GetCaps() & LUMORATH_CAP_DISEQC) != 0) {
            const int band = LnbHighBand(step_start_khz, static_cast<std::uint64_t>(lof2_mhz) * 1000u,
                                         static_cast<std::uint64_t>(lofsw_mhz) * 1000u);
            if (band != band_sent) {
                const std::uint8_t command = CommittedSwitchByte(switch_port, polarization, static_cast<std::uint32_t>(band));
                if (Tuner().SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, command) == 0) Print("SendDiSEqC failed !\n");
                band_sent = band;  // counted as sent either way: there is no retry
            }
        }

        ShowStepProgress(static_cast<std::uint32_t>(step_start_khz), held);
        if (Tuner().Vesker(static_cast<std::uint32_t>(step_start_khz), step_khz, polarization, lof1_khz, lof2_khz,
                           lofsw_khz, min_symbol_rate, slot) == 0) {
            Print("error !");
            return kScanSearchFailed;
        }

        if (slot->locked == 0 || IsDuplicate(*slot, records, held)) {
            step_start_khz += step_khz;
        } else {
            const double step_time_s = static_cast<double>(Platform().clock_ms() - step_start_ms) / 1000.0;
            Print("%.3f Mhz, %u KS, %s/%s, %s, %.1f (%.1f) dB - time %3.3fs", slot->frequency / 1000.0,
                  slot->symbol_rate / 1000u, SystemName(slot->system), ModulationName(slot->modulation),
                  FecName(slot->fec), slot->snr, LinkMargin(*slot), step_time_s);
            step_start_khz = NextStepAfterCarrierKhz(step_start_khz, step_khz, *slot);

            const double threshold_db = slot->system == 2 ? min_snr2_db : min_snr1_db;
            // An unordered comparison (NaN on either side) rejects.
            if (slot->symbol_rate <= symbol_rate_ceiling && slot->snr >= threshold_db) {
                ++accepted;
                if (published_count != nullptr) *published_count = found_count + accepted;
            }
        }
        Print("\n");

        if (StopKeysHeld()) {
            Print("Terminated on user request ...\n");
            *stop_flag = 1;
            break;
        }
    }
    PrintFooter(interval_start_ms);
    return static_cast<int>(accepted);
}
