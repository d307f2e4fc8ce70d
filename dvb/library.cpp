#include "library.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "blind_search.h"
#include "device_list.h"
#include "frontend_api.h"
#include "scan_estimate.h"
#include "sec.h"
#include "settings.h"

namespace dvb {

namespace {

struct LibraryState {
    DvbSettings settings;
    FrontendList list;
    bool listed = false;
    int started = -1;
    bool estimated = false;  // the sweep's cost was said for this start
    ScanPlan plan{};         // the program's scan, as it announced it after this start
    SearchState search;
};

// A step as the program asks for it.
StepRequest StepOf(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
                   unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate) {
    StepRequest step;
    step.frequency_khz = frequency_khz;
    step.step_khz = step_khz;
    step.polarization = polarization;
    step.lof1_khz = lof1_khz;
    step.lof2_khz = lof2_khz;
    step.lofsw_khz = lofsw_khz;
    step.min_symbol_rate = min_symbol_rate;
    return step;
}

LibraryState &State() {
    static LibraryState state;
    return state;
}

void ListDevices() {
    LibraryState &state = State();
    ReadDvbSettings(DvbSettingsFile(), &state.settings);
    ListFrontends(state.settings.dvb_dir, state.settings.strategy, state.settings.depth, state.settings.read_tables,
                  &state.list);
    state.listed = true;
}

void ReportOpenFailure(const FrontendEntry &entry, int error) {
    if (error == EBUSY) {
        std::fprintf(stderr,
                     "Lumorath DVB: %s is in use by another program; close it (or stop its service) and start again\n",
                     entry.path);
    } else if (error == EACCES || error == EPERM) {
        std::fprintf(stderr,
                     "Lumorath DVB: no permission to open %s; add your user to the group that owns it "
                     "(ls -l %s), then log in again\n",
                     entry.path, entry.path);
    } else {
        std::fprintf(stderr, "Lumorath DVB: cannot open %s (%s)\n", entry.path, std::strerror(error));
    }
}

}  // namespace

int CheckForDVBEx(LumorathDeviceCallback callback) {
    ListDevices();
    const LibraryState &state = State();
    if (state.list.count == 0) {
        if (state.settings.dvb_dir[0] == '\0') return 0;  // refused when read, with its line
        if (state.list.other_frontends > 0) {
            std::fprintf(stderr, "Lumorath DVB: no satellite frontend found under %s (%d without DVB-S/S2)\n",
                         state.settings.dvb_dir, state.list.other_frontends);
        } else {
            std::fprintf(stderr, "Lumorath DVB: no satellite frontend found under %s; is the card's driver loaded?\n",
                         state.settings.dvb_dir);
        }
        return 0;
    }
    for (int i = 0; i < state.list.count && callback != nullptr; ++i) callback(i, state.list.entries[i].name);
    return 1;
}

int StartDVBEx(int device) {
    LibraryState &state = State();
    if (!state.listed) ListDevices();
    if (state.started >= 0) StopDVB();
    if (device < 0 || device >= state.list.count) {
        std::fprintf(stderr, "Lumorath DVB: there is no device %d (%d satellite frontends)\n", device, state.list.count);
        return 0;
    }
    const FrontendEntry &entry = state.list.entries[device];
    const int fd = Ops().open(entry.path, true);
    if (fd < 0) {
        ReportOpenFailure(entry, -fd);
        return 0;
    }
    // One tune, one search: without this the kernel keeps retuning around the frequency on
    // its own and may lock a neighbour.
    Ops().ioctl(fd, FE_SET_FRONTEND_TUNE_MODE, FE_TUNE_MODE_ONESHOT);
    state.search = SearchState();
    state.search.sec.fd = fd;
    state.started = device;
    StartTables(&state.search.tables, entry, state.settings);
    state.estimated = false;
    state.plan = ScanPlan{};
    return 1;
}

int StopDVB() {
    LibraryState &state = State();
    if (state.started < 0) return 1;
    SetTone(&state.search.sec, SEC_TONE_OFF);
    SetVoltage(&state.search.sec, SEC_VOLTAGE_OFF);
    Ops().close(state.search.sec.fd);
    state.search = SearchState();
    state.started = -1;
    return 1;
}

int GetCaps() {
    // Every satellite frontend can be searched through the ladder, and the kernel offers
    // DiSEqC and the tone burst on every one (a driver without them refuses the call).
    return State().started >= 0 ? LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST : 0;
}

int SendDiSEqC(int kind, int value) {
    LibraryState &state = State();
    if (state.started < 0) return 0;
    bool sent = false;
    if (kind == LUMORATH_SEND_TONE_BURST) {
        sent = SendToneBurst(&state.search.sec, value & 0xFF);
    } else if (kind == LUMORATH_SEND_COMMITTED_SWITCH) {
        sent = SendCommittedSwitch(&state.search.sec, static_cast<std::uint8_t>(value & 0xFF));
    } else {
        return 0;
    }
    if (!sent) {
        std::fprintf(stderr, "Lumorath DVB: %s: DiSEqC %s failed (%s)\n", state.list.entries[state.started].path,
                     kind == LUMORATH_SEND_TONE_BURST ? "tone burst" : "committed switch",
                     std::strerror(state.search.sec.last_error));
    }
    return sent ? 1 : 0;
}

int SendDiseqCmd(unsigned char *bytes, int count) {
    LibraryState &state = State();
    if (state.started < 0 || bytes == nullptr || count < 3 || count > 6) return 0;
    if (SendMasterCommand(&state.search.sec, bytes, count)) return 1;
    std::fprintf(stderr, "Lumorath DVB: %s: DiSEqC message failed (%s)\n", state.list.entries[state.started].path,
                 std::strerror(state.search.sec.last_error));
    return 0;
}

int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
           unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate, TransponderRecord *record) {
    LibraryState &state = State();
    if (state.started < 0 || record == nullptr) return 0;
    const StepRequest step =
        StepOf(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate);
    const FrontendEntry &entry = state.list.entries[state.started];
    if (!state.estimated && entry.search == SearchKind::kSweep) PrintScanEstimate(entry, state.settings, step, state.plan);
    state.estimated = true;
    return SearchStep(entry, state.settings, &state.search, step, record);
}

int ModelledScan(unsigned int start_khz, unsigned int stop_khz, unsigned int step_khz, unsigned int polarization,
                 unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate,
                 unsigned int *modelled_ms, unsigned int *pace_percent) {
    LibraryState &state = State();
    // Only a sweep's time depends on the scan enough to be worth saying beforehand.
    if (state.started < 0 || modelled_ms == nullptr || pace_percent == nullptr || polarization > 3 ||
        state.list.entries[state.started].search != SearchKind::kSweep) {
        return 0;
    }
    const StepRequest first = StepOf(start_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate);
    const double ms = PlanInterval(state.list.entries[state.started], state.settings, first, stop_khz, &state.plan);
    *modelled_ms = ms < 4.0e9 ? static_cast<unsigned int>(ms) : 4000000000u;
    *pace_percent = 100;  // a real tuner takes its time
    return 1;
}

void ResetLibrary() {
    StopDVB();
    State().listed = false;
    State().list.count = 0;
}

}  // namespace dvb
