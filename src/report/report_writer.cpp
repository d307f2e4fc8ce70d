#include "report/report_writer.h"

#include "report/output_file.h"
#include "record/value_names.h"
#include "record/link_margin.h"

namespace {

// The record carries room for 16 input stream identifiers; a larger count lists the stored ones.
const std::uint32_t kMaxStreamIds = sizeof(TransponderRecord::stream_ids);

void WriteDvbS2Lines(OutputFile *file, const TransponderRecord &record) {
    WriteLine(file, "Pilot: %s\n", PilotName(record.pilot));
    WriteLine(file, "Coding mode: %s\n", CodingModeName(record.coding_mode));
    WriteLine(file, "%s frame\n", FrameLengthName(record.frame_length));
    WriteLine(file, "%s stream\n", StreamTypeName(record.stream_type));
    WriteLine(file, "%s input stream\n", record.stream_count != 0 ? "Multiple" : "Single");
    if (record.stream_count != 0) {
        const std::uint32_t shown = record.stream_count < kMaxStreamIds ? record.stream_count : kMaxStreamIds;
        WriteLine(file, "Input Streams IDs:");
        for (std::uint32_t i = 0; i < shown; ++i) WriteLine(file, " %i", static_cast<int>(record.stream_ids[i]));
        WriteLine(file, "\n");
    }
    if (record.issy != 0) WriteLine(file, "Input Stream Synchronisation\n");
    if (record.npd != 0) WriteLine(file, "Null Packet Deletion\n");
}

void WriteBlock(OutputFile *file, std::uint32_t number, const TransponderRecord &record) {
    WriteLine(file, "TP N: %u\n", static_cast<unsigned>(number));
    if (record.locked == 0) WriteLine(file, "! NOT LOCKED !\n");
    WriteLine(file, "Frequency: %.3f Mhz\n", record.frequency / 1000.0);
    WriteLine(file, "Symbol rate: %u KS\n", static_cast<unsigned>(record.symbol_rate / 1000));  // kS/s, truncated
    WriteLine(file, "Polarization: %s\n", PolarizationName(record.polarization));
    WriteLine(file, "Spectrum: %s\n", InversionName(record.inversion));
    WriteLine(file, "Standard/Modulation: %s/%s\n", SystemName(record.system), ModulationName(record.modulation));
    WriteLine(file, "FEC: %s\n", FecName(record.fec));
    WriteLine(file, "RollOff: %s\n", RollOffName(record.rolloff));
    if (record.system == 2) WriteDvbS2Lines(file, record);  // DVB-S2 only
    WriteLine(file, "RF-Level: %d dBm\n", static_cast<int>(record.rf_level));
    WriteLine(file, "Signal/Noise: %.1f dB\n", record.snr);
    WriteLine(file, "Link margin: %.1f dB\n", LinkMargin(record));
    WriteLine(file, "Carrier width: %.3f Mhz\n", record.carrier_width / 1000.0);
    WriteLine(file, "BitRate: %.3f Mbit/s\n", record.bit_rate / 1000000.0);
    WriteLine(file, "----------------------------------------\n");
}

}  // namespace

int WriteReport(const char *file_name, const TransponderRecord *records, std::uint32_t count,
                double scan_time_s) {
    if (file_name == nullptr || records == nullptr || count == 0) return -1;
    OutputFile file;
    if (!OpenOutputFile(&file, file_name)) return -2;
    for (std::uint32_t i = 0; i < count; ++i) WriteBlock(&file, i + 1, records[i]);
    WriteLine(&file, "Total Scan Time = %3.3fs\n", scan_time_s);
    return FinishOutputFile(&file);
}
