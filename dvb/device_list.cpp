#include "device_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frontend_api.h"

namespace dvb {

namespace {

// Adapter numbers need not be contiguous (the adapter_nr module parameter) and stay below
// DVB_MAX_ADAPTERS, which the kernel's configuration sets (include/media/dvbdev.h, lines
// 30-34; 16 by default): every number the option allows is looked at. Frontends of one
// adapter are numbered from 0.
constexpr int kMaxAdapters = 256;
constexpr int kMaxFrontendsPerAdapter = 8;

// Driver behaviour by the frontend's name (FE_GET_INFO), from the drivers' sources in
// linux drivers/media/dvb-frontends/:
// - stv090x.c sets the rate window to 95..105 % of the rate asked for (stv090x_set_min_srate,
//   stv090x_set_max_srate) and reads the legacy strength from the input AGC whether or not
//   anything is locked, (dBm + 100) x 65535 / 100;
// - stv0900_core.c searches blind at every tune and reports the measured frequency and rate; its
//   legacy strength comes from the RF AGC at any time, scaled (dBm + 100) x 65535 / 70
//   (stv0900_read_signal_strength);
// - m88ds3103.c loads different lock registers for DVB-S and DVB-S2, so each needs its own
//   attempt; its level comes from the tuner's statistics, refreshed every 2 s (ts2020.c), too
//   stale to tell an empty step;
// - cx24116.c and cx24117.c detect neither the system nor 8PSK, and their firmware reads the AGC
//   at any time (CMD_GETAGC; a relative figure, read here on the ST scale);
// - mxl5xx.c takes DVB-S and DVB-S2 as separate standards and gives the input power in dB at
//   any time.
// Every other driver is swept with both systems at once where it has DVB-S2, its capture not
// known and no level read before a lock.
struct DriverRow {
    const char *name_part;
    SearchKind search;
    SystemPlan plan;
    RateCapture capture;
    LevelBeforeLock level;
    std::uint32_t legacy_strength_range_db;
};
const DriverRow kDriverRows[] = {
    {"STV090X", SearchKind::kSweep, SystemPlan::kTogether, RateCapture::kFivePercent, LevelBeforeLock::kLegacy, 100},
    {"STV0900", SearchKind::kBuiltinBlind, SystemPlan::kTogether, RateCapture::kUnknown, LevelBeforeLock::kLegacy, 70},
    {"M88DS3103", SearchKind::kSweep, SystemPlan::kApart, RateCapture::kUnknown, LevelBeforeLock::kNone, 100},
    {"M88RS6000", SearchKind::kSweep, SystemPlan::kApart, RateCapture::kUnknown, LevelBeforeLock::kNone, 100},
    {"CX24116", SearchKind::kSweep, SystemPlan::kApartAndModulation, RateCapture::kUnknown, LevelBeforeLock::kLegacy, 100},
    {"CX24117", SearchKind::kSweep, SystemPlan::kApartAndModulation, RateCapture::kUnknown, LevelBeforeLock::kLegacy, 100},
    {"MXL5", SearchKind::kSweep, SystemPlan::kApart, RateCapture::kUnknown, LevelBeforeLock::kStatistics, 100},
};
// A driver without a row: the legacy strength on the ST scale, which most satellite drivers follow.
constexpr std::uint32_t kLegacyStrengthRangeDb = 100;

bool ContainsNoCase(const char *text, const char *part) {
    const std::size_t length = std::strlen(part);
    for (; *text != '\0'; ++text) {
        std::size_t i = 0;
        while (i < length && text[i] != '\0' &&
               (text[i] == part[i] || (text[i] >= 'a' && text[i] <= 'z' && text[i] - 32 == part[i]))) {
            ++i;
        }
        if (i == length) return true;
    }
    return false;
}

// A name under the DVB directory that is not a DVB device: said on standard error, never opened.
const char *KindText(DeviceFileKind kind) {
    switch (kind) {
        case DeviceFileKind::kOtherDevice: return "a device of another driver";
        case DeviceFileKind::kDirectory: return "a directory";
        case DeviceFileKind::kRegularFile: return "a regular file";
        case DeviceFileKind::kPipe: return "a named pipe";
        case DeviceFileKind::kSocket: return "a socket";
        case DeviceFileKind::kMissing:
        case DeviceFileKind::kDvbDevice: break;
    }
    return "not a device file";
}

const char *OpenErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "no permission to open it";
        case EBUSY: return "in use by another program";
        default: return std::strerror(error);
    }
}

// The delivery systems: DTV_ENUM_DELSYS from API 5.5 on, else the old type field.
void ReadSystems(int fd, const dvb_frontend_info &info, FrontendEntry *entry) {
    PropertyBatch version;
    AddProperty(&version, DTV_API_VERSION);
    const bool enumerates = GetProperties(fd, &version) >= 0 && version.props[0].u.data >= 0x0505;
    PropertyBatch systems;
    AddProperty(&systems, DTV_ENUM_DELSYS);
    if (enumerates && GetProperties(fd, &systems) >= 0) {
        const dtv_property &list = systems.props[0];
        for (std::uint32_t i = 0; i < list.u.buffer.len && i < sizeof list.u.buffer.data; ++i) {
            switch (list.u.buffer.data[i]) {
                case SYS_DVBS: entry->dvbs = true; break;
                case SYS_DVBS2: entry->dvbs2 = true; break;
                case SYS_DSS: entry->dss = true; break;
                case SYS_TURBO: entry->turbo = true; break;
                default: break;
            }
        }
        return;
    }
    if (info.type == FE_QPSK) {
        entry->dvbs = true;
        entry->dvbs2 = (info.caps & FE_CAN_2G_MODULATION) != 0;
    }
}

// A driver with its own blind algorithm knows the algorithm property; the mainline core
// refuses properties it does not know with EINVAL, so asking is harmless.
bool DriverHasBlindAlgorithm(int fd) {
    PropertyBatch probe;
    AddProperty(&probe, kDtvAlgorithm);
    return GetProperties(fd, &probe) >= 0;
}

void ChooseSearch(int fd, Strategy strategy, const char *driver_name, FrontendEntry *entry) {
    entry->search = SearchKind::kSweep;
    entry->plan = entry->dvbs2 ? SystemPlan::kTogether : SystemPlan::kApart;
    entry->capture = RateCapture::kUnknown;
    entry->level_before_lock = LevelBeforeLock::kNone;
    entry->legacy_strength_range_db = kLegacyStrengthRangeDb;
    const DriverRow *row = nullptr;
    for (const DriverRow &candidate : kDriverRows) {
        if (ContainsNoCase(driver_name, candidate.name_part)) row = &candidate;
    }
    if (row != nullptr) {
        entry->plan = row->plan;
        entry->capture = row->capture;
        entry->level_before_lock = row->level;
        entry->legacy_strength_range_db = row->legacy_strength_range_db;
    }
    if (strategy == Strategy::kSweep) return;
    if (DriverHasBlindAlgorithm(fd)) {
        entry->search = SearchKind::kDriverBlind;
    } else if (row != nullptr && row->search == SearchKind::kBuiltinBlind) {
        entry->search = SearchKind::kBuiltinBlind;
    } else if (strategy == Strategy::kDriver) {
        entry->search = SearchKind::kBuiltinBlind;  // trust the driver to search from one tune
    }
}

}  // namespace

const char *SearchName(const FrontendEntry &entry) {
    switch (entry.search) {
        case SearchKind::kDriverBlind: return "driver blind search";
        case SearchKind::kBuiltinBlind: return "blind search in the driver";
        case SearchKind::kSweep: break;
    }
    return entry.plan == SystemPlan::kTogether ? "symbol-rate sweep" : "symbol-rate sweep, DVB-S and DVB-S2 apart";
}

bool TablesWanted(ReadTables read_tables, const FrontendEntry &entry) {
    switch (read_tables) {
        case ReadTables::kAlways: return true;
        case ReadTables::kNever: return false;
        case ReadTables::kWhereEchoed: break;
    }
    return entry.search == SearchKind::kSweep;
}

void ListFrontends(const char *dvb_dir, Strategy strategy, Depth depth, ReadTables read_tables, FrontendList *list) {
    list->count = 0;
    list->other_frontends = 0;
    list->not_frontends = 0;
    if (dvb_dir[0] == '\0') return;  // refused when read, with its message
    for (int adapter = 0; adapter < kMaxAdapters; ++adapter) {
        for (int frontend = 0; frontend < kMaxFrontendsPerAdapter && list->count < kMaxFrontends; ++frontend) {
            FrontendEntry &entry = list->entries[list->count];
            std::memset(&entry, 0, sizeof entry);
            char label[sizeof entry.label];
            std::snprintf(label, sizeof label, "adapter%d/frontend%d", adapter, frontend);
            std::memcpy(entry.label, label, sizeof label);
            std::snprintf(entry.path, sizeof entry.path, "%s/%s", dvb_dir, label);
            const DeviceFileKind kind = Ops().kind(entry.path);
            if (kind == DeviceFileKind::kMissing) break;  // no such frontend: next adapter
            if (kind != DeviceFileKind::kDvbDevice) {
                std::fprintf(stderr, "Lumorath DVB: %s is not a DVB device (%s)\n", entry.path, KindText(kind));
                ++list->not_frontends;
                continue;
            }
            const int fd = Ops().open(entry.path, false);
            if (fd == -ENOENT || fd == -ENOTDIR) break;  // gone since it was looked at
            if (fd < 0) {
                entry.open_error = -fd;
                std::snprintf(entry.name, sizeof entry.name, "%s (%s)", label, OpenErrorText(-fd));
                ++list->count;
                continue;
            }
            dvb_frontend_info info{};
            const int answer = Ops().ioctl(fd, FE_GET_INFO, reinterpret_cast<std::uintptr_t>(&info));
            if (answer < 0) {
                Ops().close(fd);
                std::fprintf(stderr, "Lumorath DVB: %s does not answer as a DVB frontend (FE_GET_INFO: %s)\n", entry.path,
                             std::strerror(-answer));
                ++list->not_frontends;
                continue;
            }
            info.name[sizeof info.name - 1] = '\0';
            ReadSystems(fd, info, &entry);
            if (!entry.dvbs && !entry.dvbs2 && !entry.dss && !entry.turbo) {
                Ops().close(fd);
                ++list->other_frontends;
                continue;
            }
            // The kernel gives the limits in kHz only while the frontend's current system is a
            // satellite one (FE_GET_INFO sets type FE_QPSK then); a multi-standard frontend
            // left on a terrestrial or cable system gives them in Hz.
            const std::uint32_t per_khz = info.type == FE_QPSK ? 1u : 1000u;
            entry.frequency_min_khz = info.frequency_min / per_khz;
            entry.frequency_max_khz = info.frequency_max / per_khz;
            entry.symbol_rate_min = info.symbol_rate_min;
            entry.symbol_rate_max = info.symbol_rate_max;
            ChooseSearch(fd, strategy, info.name, &entry);
            Ops().close(fd);
            entry.read_tables = TablesWanted(read_tables, entry);
            char depth_text[32] = "";
            if (entry.search == SearchKind::kSweep) {
                std::snprintf(depth_text, sizeof depth_text, ", depth %s", DepthName(depth));
            }
            std::snprintf(entry.name, sizeof entry.name, "%s (%s, %s%s%s)", info.name, label, SearchName(entry),
                          depth_text, entry.read_tables ? ", tables read" : "");
            ++list->count;
        }
    }
}

}  // namespace dvb
