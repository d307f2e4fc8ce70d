// Fakes for the platform hooks: a clock that moves only by set amounts, keys held on cue,
// a console that records every byte, a fixed local time, and no real sleeping.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

struct FakePlatform {
    std::uint32_t now_ms = 1000;
    std::uint32_t tick_ms = 0;             // added to the clock at every read
    std::vector<std::uint32_t> sleeps;     // every pause asked for, in ms
    std::string console;                   // everything printed
    int key_polls = 0;                     // polls of Left-Ctrl
    int stop_at_poll = -1;                 // Left-Ctrl and A held from this poll on (1-based)
    bool left_control_only = false;        // held Left-Ctrl without A
    std::deque<std::uint32_t> typed;       // numbers typed at the prompt; none = nothing read
    LocalTime time{2026, 12, 9, 7, 5};
    std::string errors;                    // everything written to standard error
    bool stop_requested = false;           // a signal's stop request, as from Ctrl+C
    std::size_t stop_at_sleep = 0;         // Ctrl+C during this pause (1-based); 0: never
    void (*save_running_pass)() = nullptr; // what the stop handling would run when cut short
    std::vector<std::string> statuses;     // every status line shown ("" clears it)
};

// Installs fresh fakes (and returns them); RestoreSystemPlatform() puts the real hooks back.
FakePlatform &InstallFakePlatform();
FakePlatform &Fake();
void RestoreSystemPlatform();

// A fresh empty directory for one test, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }
    // Writes `content` to `name` in the directory, byte for byte; returns its full path.
    std::string Write(const std::string &name, const std::string &content) const;
    std::string File(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Reads a whole file byte for byte ("" when it does not exist).
std::string ReadFileBytes(const std::string &path);

// Compares `actual` with tests/golden/<name>; with VESKER_REGENERATE=1 rewrites the file.
void ExpectGolden(const std::string &name, const std::string &actual);
