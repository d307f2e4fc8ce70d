#include "record/value_names.h"

#include <cstddef>

#include "record/code_text.h"
#include "record/dvb_standard.h"

namespace {

// Modulations as the tuner library numbers them. Several codes share a text; the codes
// themselves stay distinct, and the list formats tell them apart.
const CodeText kModulationNames[] = {
    {1, "QPSK"},       {2, "8PSK"},      {3, "16APSK"},    {4, "32APSK"},     {5, "QPSK"},
    {6, "QPSK"},       {7, "8PSK"},      {8, "16APSK"},    {9, "QPSK"},       {10, "DVB-S/BPSK"},
    {11, "OQPSK"},     {12, "Combo"},    {13, "Split(I)"}, {14, "Split(Q)"},  {15, "OQPSK"},
    {16, "8VSB"},      {17, "16VSB"},    {18, "16QAM"},    {19, "32QAM"},     {20, "64QAM"},
    {21, "128QAM"},    {22, "256QAM"},   {23, "512QAM"},   {24, "1024QAM"},   {25, "4096QAM"},
    {26, "64APSK"},    {27, "128APSK"},  {28, "256APSK"},  {29, "8PSK_L"},    {30, "16APSK_L"},
    {31, "32APSK_L"},  {32, "64APSK_L"}, {33, "256APSK_L"},
};

// Delivery systems as the tuner library numbers them.
const CodeText kSystemNames[] = {
    {1, "DVB-S"}, {2, "DVB-S2"}, {3, "DSS"},    {4, "DVB-Turbo"}, {5, "DCII"},    {6, "DVB-T"},
    {7, "DVB-T2"}, {8, "DVB-C"}, {9, "DVB-C2"}, {10, "ATSC"},     {11, "ISDB-T"}, {12, "ISDB-S"},
};

// Roll-off factors of the transmit pulse-shaping filter.
const CodeText kRollOffNames[] = {
    {1, "0.35"}, {2, "0.25"}, {3, "0.20"}, {4, "0.15"}, {5, "0.10"}, {6, "0.5"},
};

// DVB-S2 baseband header TS/GS field; the program's text has always read "continous".
const CodeText kStreamTypeNames[] = {
    {0, "Transport"}, {1, "Reserved"}, {2, "Generic continous"}, {3, "Generic packetized"},
};

const CodeText kPolarizationNames[] = {
    {0, "Horizontal"}, {1, "Vertical"}, {2, "Left"}, {3, "Right"},
};

const CodeText kInversionNames[] = {
    {1, "Normal"}, {2, "Inverted"},
};

const CodeText kPilotNames[] = {
    {1, "off"}, {2, "on"},
};

// Constant or adaptive/variable coding and modulation.
const CodeText kCodingModeNames[] = {
    {0, "CCM"}, {1, "ACM/VCM"},
};

// DVB-S2 FECFRAME: normal 64800 bits, short 16200 bits.
const CodeText kFrameLengthNames[] = {
    {0, "Normal"}, {1, "Short"},
};

}  // namespace

const char *FecName(std::int32_t code) {
    const char *text = CodeRateText(code);
    return text != nullptr ? text : "?/?";
}
const char *ModulationName(std::int32_t code) { return TextOf(kModulationNames, code, "Unknown"); }
const char *SystemName(std::int32_t code) { return TextOf(kSystemNames, code, "Unknown"); }
const char *RollOffName(std::int32_t code) { return TextOf(kRollOffNames, code, "?"); }
const char *StreamTypeName(std::int32_t code) { return TextOf(kStreamTypeNames, code, "?"); }
const char *PolarizationName(std::int32_t code) { return TextOf(kPolarizationNames, code, "Unknown"); }
const char *InversionName(std::int32_t code) { return TextOf(kInversionNames, code, "Unknown"); }
const char *PilotName(std::int32_t code) { return TextOf(kPilotNames, code, "?"); }
const char *CodingModeName(std::int32_t code) { return TextOf(kCodingModeNames, code, "Unknown"); }
const char *FrameLengthName(std::int32_t code) { return TextOf(kFrameLengthNames, code, "?"); }
