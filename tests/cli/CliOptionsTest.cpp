#include "cli/CliOptions.h"
#include "cli/SearchCommand.h"

#include <gtest/gtest.h>

namespace {

// The usage error's text, or "" when the arguments parse.
std::string UsageErrorOf(std::vector<std::string_view> args) {
    try {
        ParseCliOptions(args);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(CliOptions, DefaultsBothSpellingsAndHelpAnywhere) {
    const CliOptions defaults = ParseCliOptions({"search"});
    EXPECT_EQ(defaults.adapter, 1);
    EXPECT_EQ(defaults.waitMs, 4000);
    EXPECT_EQ(defaults.format, ReplyFormat::Text);
    const CliOptions set =
        ParseCliOptions({"search", "--format", "json", "--wait=600000", "--adapter", "3"});
    EXPECT_EQ(set.adapter, 3);
    EXPECT_EQ(set.waitMs, kMaxWaitMs);
    EXPECT_EQ(set.format, ReplyFormat::Json);
    EXPECT_EQ(ParseCliOptions({"search", "--format=tsv", "--wait", "0"}).waitMs, 0);
    EXPECT_EQ(ParseCliOptions({"search", "--wait", "bad", "--help"}).command, CliCommand::Help);
    EXPECT_EQ(ParseCliOptions({"adapters", "--version"}).command, CliCommand::Version);
}

TEST(CliOptions, UsageErrors) {
    EXPECT_EQ(UsageErrorOf({}), "no command given");
    EXPECT_EQ(UsageErrorOf({"--adapter", "1"}), "unknown command '--adapter'");
    EXPECT_EQ(UsageErrorOf({"adapters", "--wait", "1"}), "unknown option '--wait'");
    EXPECT_EQ(UsageErrorOf({"search", "1"}), "unexpected argument '1'");
    EXPECT_EQ(UsageErrorOf({"search", "--wait", "1", "extra"}), "unexpected argument 'extra'");
    EXPECT_EQ(UsageErrorOf({"search", "--wait"}), "option '--wait' needs a value");
    EXPECT_EQ(UsageErrorOf({"search", "--wait", "10", "--wait=20"}), "option '--wait' given twice");
    EXPECT_EQ(UsageErrorOf({"search", "--format", "csv"}),
              "--format needs text, tsv or json, not 'csv'");
    EXPECT_EQ(UsageErrorOf({"search", "--wait", "600001"}),
              "--wait needs a whole number from 0 to 600000, not '600001'");
    EXPECT_EQ(UsageErrorOf({"search", "--adapter="}),
              "--adapter needs a number, an interface name or 'all'");
    for (const char* bad : {"-1", "4s", "0x10"})
        EXPECT_NE(UsageErrorOf({"search", "--wait", bad}), "") << "'" << bad << "'";
}

TEST(CliOptions, EveryAdapterRepeatedProbesAndFolding) {
    const CliOptions defaults = ParseCliOptions({"search"});
    EXPECT_EQ(defaults.probes, 1);
    EXPECT_EQ(defaults.intervalMs, 1000);
    EXPECT_FALSE(defaults.unique);
    const CliOptions set = ParseCliOptions(
        {"search", "--adapter=all", "--probes", "100", "--interval", "0", "--unique"});
    EXPECT_EQ(set.adapter, kAllAdapters);
    EXPECT_EQ(set.probes, kMaxProbes);
    EXPECT_EQ(set.intervalMs, 0);
    EXPECT_TRUE(set.unique);
    const std::pair<std::vector<std::string_view>, std::string> errors[] = {
        {{"search", "--unique=yes"}, "--unique takes no value"},
        {{"search", "--unique", "--unique"}, "option '--unique' given twice"},
        {{"search", "--probes", "0"}, "--probes needs a whole number from 1 to 100, not '0'"},
        {{"search", "--interval", "60001"},
         "--interval needs a whole number from 0 to 60000, not '60001'"},
    };
    for (const auto& [args, error] : errors)
        EXPECT_EQ(UsageErrorOf(args), error);
}

TEST(CliOptions, WatchDefaultsBoundsAndOptionsItDoesNotTake) {
    const CliOptions defaults = ParseCliOptions({"watch"});
    EXPECT_EQ(defaults.command, CliCommand::Watch);
    EXPECT_EQ(defaults.intervalMs, 5000);
    EXPECT_EQ(defaults.misses, 3);
    const CliOptions set = ParseCliOptions(
        {"watch", "--adapter", "all", "--interval=500", "--misses", "2", "--format", "json"});
    EXPECT_EQ(set.adapter, kAllAdapters);
    EXPECT_EQ(set.intervalMs, 500);
    EXPECT_EQ(set.misses, 2);
    EXPECT_EQ(set.format, ReplyFormat::Json);
    EXPECT_EQ(UsageErrorOf({"watch", "--interval", "499"}),
              "--interval needs a whole number from 500 to 600000, not '499'");
    for (const char* option : {"--wait", "--probes", "--unique"})
        EXPECT_EQ(UsageErrorOf({"watch", option, "1"}),
                  "unknown option '" + std::string(option) + "'");
}

TEST(ChosenAdapters, ByNumberNameOrAllElseAUsageErrorNamingTheChoices) {
    std::vector<TAdapterInfo> adapters(2);
    adapters[0].description = "eth-a (e1000e) 198.51.100.1/24";
    adapters[0].ipAddress = "198.51.100.1";
    adapters[1].description = "eth-b 203.0.113.1/24";
    adapters[1].ipAddress = "203.0.113.1";
    const auto numbers = [&](std::vector<std::string_view> args) {
        std::vector<int> chosen;
        for (const SearchedAdapter& adapter : ChosenAdapters(adapters, ParseCliOptions(args)))
            chosen.push_back(adapter.number);
        return chosen;
    };
    EXPECT_EQ(numbers({"search"}), std::vector<int>{1});
    EXPECT_EQ(numbers({"watch", "--adapter", "2"}), std::vector<int>{2});
    EXPECT_EQ(numbers({"search", "--adapter=eth-b"}), std::vector<int>{2});
    EXPECT_EQ(numbers({"adapters"}), (std::vector<int>{1, 2}));
    EXPECT_EQ(numbers({"watch", "--adapter", "all"}), (std::vector<int>{1, 2}));
    EXPECT_EQ(ChosenAdapters(adapters, ParseCliOptions({"search"}))[0].name, "eth-a");
    for (const char* bad :
         {"0", "3", "-1", "1x", " 1", "+1", "99999999999", "ALL", "eth", "eth-a "})
        try {
            ChosenAdapters(adapters, ParseCliOptions({"search", "--adapter", bad}));
            ADD_FAILURE() << "'" << bad << "' chose an adapter";
        } catch (const UsageError& error) {
            EXPECT_EQ(error.what(), "there is no adapter '" + std::string(bad) +
                                        "' on this host: choose 1 to 2, eth-a, eth-b or all");
        }
}
