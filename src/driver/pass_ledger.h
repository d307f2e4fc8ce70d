// The pass ledger: the running pass's records and everything needed to end the pass, either
// by the pass loop or by a save made while the tuner library does not return.
//
// Who writes what, and when. This is what makes the cut-short save safe:
// - Only the main path writes the ledger (the records, the published count, the pass number,
//   its window and start time, the output options), and only while it runs its own code. The
//   one exception is the slot at the published count: the running search fills it inside the
//   library call.
// - The records below the published count are whole and never change again in the pass. The
//   scan publishes a record only after it is filled and accepted, always in its own code.
// - The save runs on another thread, and only after it has claimed the main path's state word
//   (platform.h, EnterBlockingCall) while the main path waits inside a library call. The claim
//   reads the value the main path stored when it entered that call, so the save sees every
//   ledger write made before the call. A call that returns after the claim never leaves
//   LeaveBlockingCall, so the main path cannot run on: it changes nothing under the save and
//   never ends the pass a second time.
// - The save reads only the records below the published count, never the slot the library
//   may still be writing.
#pragma once

#include <cstdint>

#include "report/output_step.h"
#include "tuner/lumorath.h"

// The run's passes begin; `output` is what every pass writes with and outlives the run.
void OpenLedger(const OutputOptions &output);
// The run's passes are over: a save from here on writes nothing.
void CloseLedger();

// A pass begins: its records cleared, none published, its window empty, its clock started.
void BeginPass(std::uint32_t pass_number);
// Where the scan appends: the pass's kMaxTransponders records, and the count of those that
// are whole and final, which the scan raises after each accepted record.
TransponderRecord *PassRecords();
std::uint32_t *PublishedCount();
// An interval of start..stop MHz reached the scan: the pass's window grows to hold it.
void NoteScannedInterval(std::uint32_t start_mhz, std::uint32_t stop_mhz);

// Ends the running pass with its published records: its time, the sort and the output step.
// A pass that did not complete holds only part of the band: where every pass writes the same
// two names it leaves the files of the last complete pass in place. Returns false when a file
// could not be written.
bool EndPass(bool complete);

// The cut-short save: writes what the running pass has published, as its end would, unless
// the pass has reached its output step already. Runs on the stop handling's own thread; it
// takes no lock and allocates nothing.
void SaveRunningPass();
