#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A command line the program cannot act on; main() prints it with the usage
// and exits with 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class CliCommand { Adapters, Search, Watch, Help, Version };
enum class ReplyFormat { Text, Tsv, Json };

// `--adapter all`: every up adapter with an IPv4 address.
inline constexpr int kAllAdapters = 0;

struct CliOptions {
    CliCommand command = CliCommand::Help;
    int adapter = 1; // 1-based, as the adapters command numbers them, or kAllAdapters
    // `--adapter NAME`: an interface's name, which stays the same when adapters
    // come and go; found among the host's adapters when the command runs.
    std::string adapterName{};
    int waitMs = 4000;
    ReplyFormat format = ReplyFormat::Text;
    int probes = 1; // probes sent, `intervalMs` apart; the wait follows the last
    int intervalMs = 1000;
    bool unique = false;       // fold repeats of one device's reply (same address and bytes)
    int misses = 3;            // watch: probes a device misses in a row before it is down
    std::string metricsFile{}; // watch: where to write the metrics after every round; empty: none
};

// The longest listening time a search accepts: ten minutes.
inline constexpr int kMaxWaitMs = 600'000;
// At most 100 probes, at most a minute apart.
inline constexpr int kMaxProbes = 100;
inline constexpr int kMaxIntervalMs = 60'000;
// A watch probes every 500 ms to ten minutes (default 5000) and takes a device
// for down after 1 to 100 missed probes.
inline constexpr int kWatchIntervalMs = 5000;
inline constexpr int kMinWatchIntervalMs = 500;
inline constexpr int kMaxWatchIntervalMs = 600'000;
inline constexpr int kMaxMisses = 100;

// Parses the arguments after the program name. "--help" or "--version"
// anywhere wins over everything else. Throws UsageError.
CliOptions ParseCliOptions(const std::vector<std::string_view>& args);

// The short usage shown with a usage error, and the full help text.
extern const char* const kCliUsage;
extern const char* const kCliHelp;
