#include "pass_memory.h"

#include <algorithm>

namespace dvb {

bool BeginStep(PassMemory *memory, unsigned polarization, std::uint32_t step_khz) {
    const unsigned p = polarization & 3u;
    const bool over = memory->stepped[p] && step_khz <= memory->last_step_khz[p];
    if (over) {
        // Starting over: forget every carrier of this polarization reaching the range.
        int kept = 0;
        for (int i = 0; i < memory->count; ++i) {
            const KnownCarrier &carrier = memory->carriers[i];
            const bool forget = (carrier.polarization & 3u) == p &&
                                static_cast<std::int64_t>(carrier.frequency_khz) + carrier.half_width_khz >= step_khz;
            if (!forget) memory->carriers[kept++] = carrier;
        }
        memory->count = kept;
        memory->searched[p] = false;
    }
    memory->stepped[p] = true;
    memory->last_step_khz[p] = step_khz;
    return over;
}

namespace {

// Two carriers cannot share their Nyquist bands, so a frequency within half the symbol rate
// of a known carrier's centre is that carrier.
int IndexAt(const PassMemory &memory, unsigned polarization, std::int64_t frequency_khz, std::uint32_t uncertainty_khz) {
    for (int i = 0; i < memory.count; ++i) {
        const KnownCarrier &carrier = memory.carriers[i];
        if (carrier.polarization != (polarization & 3u)) continue;
        const std::int64_t distance = frequency_khz - static_cast<std::int64_t>(carrier.frequency_khz);
        const std::int64_t within_khz =
            std::max<std::int64_t>(carrier.symbol_rate / 2000, std::max(carrier.uncertainty_khz, uncertainty_khz));
        if (distance < within_khz && -distance < within_khz) return i;
    }
    return -1;
}

}  // namespace

void NoteCarrier(PassMemory *memory, const KnownCarrier &carrier) {
    KnownCarrier noted = carrier;
    noted.polarization &= 3u;
    const int index = IndexAt(*memory, noted.polarization, noted.frequency_khz, 0);
    if (index >= 0) {
        memory->carriers[index] = noted;
    } else if (memory->count < kMaxKnownCarriers) {
        memory->carriers[memory->count++] = noted;
    }
}

const KnownCarrier *CarrierAt(const PassMemory &memory, unsigned polarization, std::int64_t frequency_khz,
                              std::uint32_t uncertainty_khz) {
    const int index = IndexAt(memory, polarization, frequency_khz, uncertainty_khz);
    return index >= 0 ? &memory.carriers[index] : nullptr;
}

const KnownCarrier *FirstCarrierIn(const PassMemory &memory, unsigned polarization, std::int64_t from_khz,
                                   std::int64_t to_khz) {
    const KnownCarrier *first = nullptr;
    for (int i = 0; i < memory.count; ++i) {
        const KnownCarrier &carrier = memory.carriers[i];
        if (carrier.polarization != (polarization & 3u)) continue;
        const std::int64_t centre = carrier.frequency_khz;
        if (centre + carrier.half_width_khz < from_khz || centre - carrier.half_width_khz > to_khz) continue;
        if (first == nullptr || carrier.frequency_khz < first->frequency_khz) first = &carrier;
    }
    return first;
}

void MarkSearched(PassMemory *memory, unsigned polarization, std::int64_t khz) {
    const unsigned p = polarization & 3u;
    if (!memory->searched[p] || khz > memory->searched_to_khz[p]) memory->searched_to_khz[p] = khz;
    memory->searched[p] = true;
}

bool SearchedTo(const PassMemory &memory, unsigned polarization, std::int64_t *khz) {
    const unsigned p = polarization & 3u;
    if (memory.searched[p]) *khz = memory.searched_to_khz[p];
    return memory.searched[p];
}

}  // namespace dvb
