// Inside the platform layer: the stop handling both platforms share. What passes a stop request
// on is per platform (a signal handler on POSIX, the console control handler on Windows); what
// the request leads to, and how a run is cut short, is here.
#pragma once

#include <cstdint>

// Notes a stop request that came at `now_ms` of the millisecond clock; true for the first one of
// the run. Safe in a signal handler.
bool NoteStopRequest(std::uint32_t now_ms);
bool StopWasRequested();
// The millisecond clock at the first request.
std::uint32_t StopRequestMs();

// Once a stop has been asked for, console writes wait at most this long after it, in all.
constexpr std::uint32_t kStoppedConsoleWaitMs = 500;

// Keeps what the cut-short save runs and the exit code the run then ends with.
void KeepCutShortSave(void (*save_running_pass)(), int cut_short_code);

// The stop watch, the body of a thread started with the stop handling. After the first request
// it ends the run cut short when a library call is still running kStopGraceMs after the request
// (or after the call began, if later), or when a further request comes while one runs.
[[noreturn]] void WatchStopRequests();

// Claims the right to save and end the program: true only while the main path waits inside a
// library call and no save has begun. From then on the main path never runs its own code again.
bool BeginCutShortSave();
// Runs the kept save and ends the process with the kept code; only after a successful claim.
[[noreturn]] void EndCutShort();

// Defined per platform:
constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;
// Waits up to `timeout_ms` for a stop request passed on to the stop watch; true when one came.
bool WaitForStopRequest(std::uint32_t timeout_ms);
// Ends the process at once with `code`: nothing more of the program or the library runs.
[[noreturn]] void EndProcessNow(int code);
// Holds the calling thread until the program ends.
[[noreturn]] void ParkForever();
