// The program's exit codes. On POSIX a negative code appears as 256 + code.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitBadLnb = -1;          // the LNB description or a path was rejected
constexpr int kExitNoDevice = -2;        // no tuner library, or it reported no device
constexpr int kExitCantStart = -3;       // StartDVBEx failed
constexpr int kExitNoBlindSearch = -4;   // the device cannot blind-search
constexpr int kExitSearchFailed = -5;    // a blind search failed; what was found is written
constexpr int kExitNotWritten = -6;      // a report or list of the run could not be written
constexpr int kExitCutShort = -7;        // ended inside a tuner library call that did not return
                                         // (a second Ctrl+C, SIGTERM or SIGHUP); the running
                                         // pass's records were saved
