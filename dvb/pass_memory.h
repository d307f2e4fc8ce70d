// What the search handed over and how far it searched during the pass, per polarization: so
// that a carrier already handed to the program is not handed over again for another step while
// an unseen one lies in the range, and so that the next step knows where the last one stopped.
//
// The library sees only the searches, never the program's passes and intervals. Within an
// interval the program searches upwards; a search at or below the previous one on the same
// polarization therefore starts that range over (the next pass, a repeated or an overlapping
// interval), and what was found or searched from there up is forgotten, so that a new pass
// finds everything again.
#pragma once

#include <cstdint>

namespace dvb {

// A carrier handed to the program.
struct KnownCarrier {
    std::uint32_t frequency_khz;   // centre, satellite frequency
    std::uint32_t half_width_khz;  // half the occupied width
    std::uint32_t symbol_rate;     // S/s
    unsigned polarization;
    // A carrier of a row of same-rate neighbours whose lock ranges run together: the spacing
    // of the row and its last carrier's centre (0: not in such a row).
    std::uint32_t row_spacing_khz;
    std::uint32_t row_end_khz;
    // How far the true centre may lie from `frequency_khz` (a centre reckoned, not measured).
    std::uint32_t uncertainty_khz;
};

constexpr int kMaxKnownCarriers = 400;

struct PassMemory {
    KnownCarrier carriers[kMaxKnownCarriers];
    int count = 0;
    // Per polarization code: the last search's step start, and the frequency up to which the
    // range has been searched with nothing left unseen.
    std::uint32_t last_step_khz[4] = {};
    bool stepped[4] = {};
    std::int64_t searched_to_khz[4] = {};
    bool searched[4] = {};
};

// A search of the step at `step_khz`; forgets the range from there up when it starts over,
// and returns true then: a new pass for everything else the search keeps.
bool BeginStep(PassMemory *memory, unsigned polarization, std::uint32_t step_khz);

// Notes a carrier (replacing one it is). A full memory keeps what it has.
void NoteCarrier(PassMemory *memory, const KnownCarrier &carrier);

// The noted carrier that a carrier at `frequency_khz` (its centre known to within
// `uncertainty_khz`) is: within half the symbol rate of its centre, or within the uncertainty
// of either. Null for none.
const KnownCarrier *CarrierAt(const PassMemory &memory, unsigned polarization, std::int64_t frequency_khz,
                              std::uint32_t uncertainty_khz = 0);

// The lowest noted carrier that reaches into [from_khz, to_khz], or null.
const KnownCarrier *FirstCarrierIn(const PassMemory &memory, unsigned polarization, std::int64_t from_khz,
                                   std::int64_t to_khz);

// The range up to `khz` has been searched; and how far that goes (false: not known).
void MarkSearched(PassMemory *memory, unsigned polarization, std::int64_t khz);
bool SearchedTo(const PassMemory &memory, unsigned polarization, std::int64_t *khz);

}  // namespace dvb
