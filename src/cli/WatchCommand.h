#pragma once

#include "cli/CliOptions.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// What one watch saw, for the summary.
struct WatchSummary {
    std::uint64_t up = 0;        // devices up when it ended
    std::uint64_t events = 0;    // events printed
    std::uint64_t untracked = 0; // replies from devices beyond the tracked cap
    std::uint64_t tooLong = 0;   // replies longer than the 8192-byte buffer
    std::optional<std::uint64_t> kernelDrops;
};

// Binds as a search does, then probes every `options.intervalMs` until SIGINT
// or SIGTERM and prints to `out` an event (up, changed, down after
// `options.misses` missed probes) as each happens, in `options.format`.
// Raises on a failure (no such adapter, bind, send).
WatchSummary RunWatch(const CliOptions& options, std::FILE* out);

// "3 devices up, 7 events, 0 datagrams dropped by the kernel" and the like.
std::string WatchSummaryText(const WatchSummary& summary);
