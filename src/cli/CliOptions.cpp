#include "cli/CliOptions.h"

#include <algorithm>
#include <charconv>
#include <set>

const char* const kCliUsage =
    "usage: device-finder-cli adapters [--adapter N|NAME|all]\n"
    "       device-finder-cli search [--adapter N|NAME|all] [--wait MS]\n"
    "                                [--format text|tsv|json] [--probes N] [--interval MS]\n"
    "                                [--unique]\n"
    "       device-finder-cli watch [--adapter N|NAME|all] [--interval MS] [--misses K]\n"
    "                               [--format text|tsv|json] [--metrics-file PATH]\n"
    "       device-finder-cli --help | --version\n";

const char* const kCliHelp =
    "Finds VoIP devices (IP phones, intercoms) on the network segment of one adapter.\n"
    "\n"
    "  adapters          list this host's adapters that are up with an IPv4\n"
    "                    address, numbered from 1; --adapter lists only that one\n"
    "  search            broadcast the probe from adapter N, port 60000, and print\n"
    "                    every reply as it arrives\n"
    "    --adapter N     the adapter to search from (default 1), by its number or\n"
    "                    its interface name (eth0); 'all' searches from every\n"
    "                    adapter at once, labels each reply with its adapter's\n"
    "                    number and names an adapter it cannot bind\n"
    "    --wait MS       how long to listen after the last probe, 0 to 600000\n"
    "                    milliseconds (default 4000)\n"
    "    --probes N      send the probe N times, 1 to 100 (default 1), for lossy\n"
    "                    networks such as Wi-Fi\n"
    "    --interval MS   time between probes, 0 to 60000 milliseconds (default 1000)\n"
    "    --unique        show a device's reply once when it repeats (same address,\n"
    "                    same bytes)\n"
    "    --format F      text (default), tsv (address, port, reply, MAC, maker;\n"
    "                    backslash and control characters escaped) or json (one\n"
    "                    object a line with ip, port, info, hex (the raw payload),\n"
    "                    mac and vendor)\n"
    "  watch             probe every interval until interrupted (Ctrl+C, SIGTERM)\n"
    "                    and print an event as each device comes up (first reply,\n"
    "                    or a reply after being down), changes its reply or goes\n"
    "                    down; each event has the time (UTC), the event and the\n"
    "                    reply's fields; json adds \"event\" and \"time\" keys\n"
    "    --adapter, --format   as for search\n"
    "    --interval MS   time between probes, 500 to 600000 milliseconds\n"
    "                    (default 5000)\n"
    "    --misses K      probes a device misses in a row before it is down, 1 to\n"
    "                    100 (default 3)\n"
    "    --metrics-file PATH   after every probe's round, replace PATH with the\n"
    "                    devices and counters as Prometheus metrics (text format\n"
    "                    0.0.4), for the node exporter's textfile collector\n"
    "    e.g. device-finder-cli watch --format json |\n"
    "           jq --unbuffered -r '\"\\(.time) \\(.event) \\(.ip) \\(.mac)\"'\n"
    "\n"
    "The MAC comes from this host's neighbour table, filled by the exchange that\n"
    "carried the reply, and the maker from the IEEE registry (Debian's ieee-data);\n"
    "either is empty when unknown. Finding them sends nothing.\n"
    "\n"
    "Replies and events go to standard output, the summary and errors to standard\n"
    "error; a watch prints its summary (devices up, events, kernel drops) when it\n"
    "is interrupted.\n"
    "Exit status: 0 when the search ran (also with no reply) or the watch was\n"
    "interrupted, 1 on a failure, 2 on a usage error.\n";

namespace {

int ParseWhole(std::string_view name, std::string_view text, int min, int max) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max)
        throw UsageError(std::string(name) + " needs a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not '" + std::string(text) + "'");
    return value;
}

ReplyFormat ParseFormat(std::string_view text) {
    if (text == "text")
        return ReplyFormat::Text;
    if (text == "tsv")
        return ReplyFormat::Tsv;
    if (text == "json")
        return ReplyFormat::Json;
    throw UsageError("--format needs text, tsv or json, not '" + std::string(text) + "'");
}

// A number or "all"; any other text is taken for an interface name, which
// only the host's adapters can tell right or wrong.
void ParseAdapter(CliOptions& options, std::string_view value) {
    if (value.empty())
        throw UsageError("--adapter needs a number, an interface name or 'all'");
    if (value == "all") {
        options.adapter = kAllAdapters;
        return;
    }
    int number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (error == std::errc() && stop == end && number >= 1)
        options.adapter = number;
    else
        options.adapterName = value;
}

bool IsSearchOption(std::string_view name) {
    return name == "--adapter" || name == "--wait" || name == "--format" || name == "--probes" ||
           name == "--interval";
}

bool IsWatchOption(std::string_view name) {
    return name == "--adapter" || name == "--format" || name == "--interval" ||
           name == "--misses" || name == "--metrics-file";
}

bool IsAdaptersOption(std::string_view name) {
    return name == "--adapter";
}

bool Takes(CliCommand command, std::string_view name) {
    switch (command) {
    case CliCommand::Adapters:
        return IsAdaptersOption(name);
    case CliCommand::Watch:
        return IsWatchOption(name);
    default:
        return IsSearchOption(name);
    }
}

void ApplySearchOption(CliOptions& options, std::string_view name, std::string_view value) {
    if (options.command == CliCommand::Watch && name == "--interval")
        options.intervalMs = ParseWhole(name, value, kMinWatchIntervalMs, kMaxWatchIntervalMs);
    else if (name == "--metrics-file" && value.empty())
        throw UsageError("--metrics-file needs a path");
    else if (name == "--metrics-file")
        options.metricsFile = value;
    else if (name == "--misses")
        options.misses = ParseWhole(name, value, 1, kMaxMisses);
    else if (name == "--adapter")
        ParseAdapter(options, value);
    else if (name == "--wait")
        options.waitMs = ParseWhole(name, value, 0, kMaxWaitMs);
    else if (name == "--probes")
        options.probes = ParseWhole(name, value, 1, kMaxProbes);
    else if (name == "--interval")
        options.intervalMs = ParseWhole(name, value, 0, kMaxIntervalMs);
    else
        options.format = ParseFormat(value);
}

// "--name value" or "--name=value", each option at most once; "--unique" alone
// (search only).
CliOptions ParseCommand(const std::vector<std::string_view>& args, CliCommand command) {
    CliOptions options;
    options.command = command;
    if (command == CliCommand::Watch)
        options.intervalMs = kWatchIntervalMs;
    if (command == CliCommand::Adapters)
        options.adapter = kAllAdapters;
    std::set<std::string_view> seen;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string_view name = args[i];
        if (!name.starts_with("-"))
            throw UsageError("unexpected argument '" + std::string(name) + "'");
        std::string_view value;
        const auto equals = name.find('=');
        if (equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (!seen.insert(name).second)
            throw UsageError("option '" + std::string(name) + "' given twice");
        if (name == "--unique" && command == CliCommand::Search) {
            if (equals != std::string_view::npos)
                throw UsageError("--unique takes no value");
            options.unique = true;
            continue;
        }
        if (!Takes(command, name))
            throw UsageError("unknown option '" + std::string(name) + "'");
        if (equals == std::string_view::npos) {
            if (i + 1 == args.size())
                throw UsageError("option '" + std::string(name) + "' needs a value");
            value = args[++i];
        }
        ApplySearchOption(options, name, value);
    }
    return options;
}

bool Has(const std::vector<std::string_view>& args, std::string_view word) {
    return std::find(args.begin(), args.end(), word) != args.end();
}

} // namespace

CliOptions ParseCliOptions(const std::vector<std::string_view>& args) {
    if (Has(args, "--help") || Has(args, "-h"))
        return {CliCommand::Help};
    if (Has(args, "--version"))
        return {CliCommand::Version};
    if (args.empty())
        throw UsageError("no command given");
    if (args[0] == "adapters")
        return ParseCommand(args, CliCommand::Adapters);
    if (args[0] == "search")
        return ParseCommand(args, CliCommand::Search);
    if (args[0] == "watch")
        return ParseCommand(args, CliCommand::Watch);
    throw UsageError("unknown command '" + std::string(args[0]) + "'");
}
