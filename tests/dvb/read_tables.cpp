// The DVB library's table reading against a real kernel (the vidtv leg): starts the first
// satellite frontend, searches one step at the given satellite frequency (MHz; universal LNB,
// horizontal), and after its lock reads the PAT and the NIT through the real demux as the
// library does. The library's own line about the network goes to standard error; the figures
// of the reads to standard output. Exit 0 when the step locked and a NIT was read.
#include <cstdio>
#include <cstdlib>

#include "library.h"
#include "network_tables.h"
#include "settings.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FREQUENCY_MHZ\n", argv[0]);
        return 2;
    }
    const unsigned frequency_khz = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) * 1000u;
    dvb::DvbSettings settings;
    dvb::ReadDvbSettings(dvb::DvbSettingsFile(), &settings);
    if (dvb::CheckForDVBEx(nullptr) == 0 || dvb::StartDVBEx(0) == 0) return 1;
    TransponderRecord record{};
    if (dvb::Vesker(frequency_khz, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record) == 0 || record.locked == 0) {
        std::printf("no lock at %u kHz\n", frequency_khz);
        return 1;
    }
    dvb::FrontendEntry entry{};
    std::snprintf(entry.path, sizeof entry.path, "%s/adapter0/frontend0", settings.dvb_dir);
    entry.read_tables = true;
    static dvb::NetworkTables tables;
    dvb::StartTables(&tables, entry, settings);
    const LnbBand band = SelectLnbBand(frequency_khz, 0, 9750000, 10600000, 11700000, settings.lnb_mid_mhz,
                                       settings.lnb_stacked_mhz);
    dvb::TuneRequest asked;
    asked.if_khz = static_cast<unsigned>(LnbIntermediateKhz(band, frequency_khz));
    asked.symbol_rate = record.symbol_rate;
    dvb::AfterLock(&tables, band, asked, &record);
    const dvb::TablesCost &cost = tables.cost;
    std::printf("demux %s: PAT reads %u (%u ms), NIT reads %u (%u ms), networks %u, record completed %u\n",
                tables.demux_path, cost.pat_reads, cost.pat_ms, cost.nit_reads, cost.nit_ms, cost.networks,
                cost.records_completed);
    dvb::StopDVB();
    return cost.networks >= 1 ? 0 : 1;
}
