#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A command line the simulator cannot act on. main() prints it with the usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SimOptions {
    std::string reply = "device-sim";     // bytes of every reply, sent as they are
    std::uint32_t devices = 1;            // simulated devices answering each probe
    std::optional<std::uint32_t> firstIp; // host order; unset: answer from the probe's address
    std::chrono::milliseconds delay{0};   // before each reply
    std::chrono::milliseconds jitter{0};  // random extra per reply, 0..jitter
    std::chrono::milliseconds spread{0};  // one probe's replies evenly over this time
    std::uint32_t replies = 1;            // replies per device per probe
    std::string logPath;                  // empty: no log
    std::string readyPath;                // empty: no ready file
    bool allowAnyNetns = false;
};

// The largest payload of one IPv4 UDP datagram.
inline constexpr std::size_t kMaxReplyBytes = 65507;
// Bounds one probe's work, so a mistyped count cannot exhaust memory.
inline constexpr std::uint64_t kMaxRepliesPerProbe = 1'000'000;

// Parses the arguments after the program name. Throws UsageError.
SimOptions ParseSimOptions(const std::vector<std::string_view>& args);

// Resolves \n, \r, \t and \\ in a --reply-text value. Throws UsageError on
// any other escape, so a typo never goes out as literal text.
std::string DecodeEscapes(std::string_view text);

// Dotted quad to host-order address. Throws UsageError.
std::uint32_t ParseIpv4(std::string_view text);
std::string FormatIpv4(std::uint32_t hostOrder);

extern const char* const kSimUsage;
