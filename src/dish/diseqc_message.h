// The bytes of the raw DiSEqC messages the dish sequence and USALS send, and their repeated
// send. Sources: Eutelsat, DiSEqC Bus Functional Specification version 4.2 (the framing,
// address and command bytes); DiSEqC Positioner Application Note version 1.0 (the drives).
#pragma once

// Framing: a command from the master, no reply wanted; first transmission and repetition.
constexpr unsigned char kFramingFirst = 0xE0;
constexpr unsigned char kFramingRepeat = 0xE1;
// Addresses: any LNB, switcher or SMATV; polar/azimuth positioner.
constexpr unsigned char kAddressAnySwitch = 0x10;
constexpr unsigned char kAddressPositioner = 0x31;
// Commands: write the uncommitted switch port group; drive to a stored position; drive to an
// angular position (the USALS command).
constexpr unsigned char kCommandWriteUncommitted = 0x39;
constexpr unsigned char kCommandGotoStored = 0x6B;
constexpr unsigned char kCommandGotoAngular = 0x6E;

// Sends one raw DiSEqC message (4 or 5 bytes, framing byte first) with framing byte E0,
// then twice with E1 100 ms apart, then pauses `Wait` seconds (1..359) from the
// configuration file. A failed first send prints its line and ends there, without pause.
// Nothing is sent after a stop request.
void RepeatedSend(unsigned char *message, int count, const char *config_path);
