// Inside the platform layer: what the win32 and posix stop handlers share.
#pragma once

// Claims the right to save and end the program: true only while the main path waits inside a
// library call and no save has begun. From then on the main path never runs its own code again.
bool BeginCutShortSave();

// Holds the calling thread until the program ends (defined per platform).
[[noreturn]] void ParkForever();
