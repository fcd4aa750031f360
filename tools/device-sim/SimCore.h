#pragma once

#include "SimOptions.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// "~who has voip device?~": the only datagram a device answers.
inline constexpr std::string_view kProbe = "\x7E\x77\x68\x6F\x20\x68\x61\x73\x20\x76\x6F"
                                           "\x69\x70\x20\x64\x65\x76\x69\x63\x65\x3F\x7E";

inline bool IsProbe(std::string_view datagram) {
    return datagram == kProbe;
}

// One log line per datagram received: "IP:PORT LENGTH HEX", the hex lower
// case and empty for an empty datagram.
std::string FormatLogLine(std::string_view ip, std::uint16_t port, std::string_view bytes);

struct PlannedReply {
    std::chrono::microseconds after; // from the probe's arrival
    std::uint32_t device;            // 0 .. devices-1
};

// The replies one probe causes, device by device and each device's replies
// together, in the order they are due (equal times keep that order). With a
// spread, reply k of n is due k/n of the spread later, plus any jitter.
std::vector<PlannedReply> PlanReplies(const SimOptions& options, std::mt19937_64& random);

// True for a name lab.sh gives its namespaces: "dfl<pid>-<number>-<role>".
bool IsLabNetnsName(std::string_view name);

// The name of the lab namespace this process is in (a /run/netns entry with a
// lab name that is this process's network namespace), or "" outside a lab.
std::string CurrentLabNetns();
