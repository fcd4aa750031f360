#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// Restart and termination after a report. The new instance gets the same
// command line and environment, runs from the folder the program was started
// in (not wherever it is now) and leads a process group of its own, so that
// ending this one does not end it. It is started from the program's own
// path, not through /proc/self/exe, so it runs under the program's name.

struct TStartupInfo {
    std::string Program = "/proc/self/exe";
    std::vector<std::string> Arguments; // including the program's name
    std::string WorkingDirectory;
};

// Records the command line and the working directory; called once at
// start-up, before anything may change the directory.
void RecordStartupInfo();
const TStartupInfo& StartupInfo();

// A crashed instance of this same program keeps its start-up folder, as a
// NUL-ended text of at most kStartupFolderSize bytes, at this offset from
// its load address: the reporter process reads it from there.
inline constexpr std::size_t kStartupFolderSize = 4096;
std::uint64_t StartupFolderOffset();

// The command line of the running process, from /proc/self/cmdline.
std::vector<std::string> OwnCommandLine();

// Starts the new instance at the normal scheduling policy and, when this
// thread runs above it, at nice 0; throws EOSError when it cannot.
pid_t StartInstance(const TStartupInfo& startup);

// A report the user copied to the clipboard: the clipboard is this process's
// and goes with it, so a restart hands the text to the new instance, which
// puts it on the clipboard again. From any thread.
void HandOverClipboard(const std::string& text);

// In the new instance: the text its predecessor handed over, or empty. Call
// it once, first thing in main(), while no other thread runs (it edits the
// environment).
std::string TakeHandedOverClipboard();

// Restarts (operation 2) or only terminates (1) the program, with exit code 1.
// A restart that fails still terminates.
[[noreturn]] void EndProcess(std::uint8_t operation);
