// The simulator's command line, probe matching, reply plan and log format,
// without a network.

#include "LabEnv.h"
#include "SimCore.h"
#include "SimOptions.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

SimOptions Parse(std::vector<std::string_view> args) {
    return ParseSimOptions(args);
}

// A file removed again when the test ends.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        char name[] = "/tmp/device-sim-test-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        close(fd);
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST(SimOptions, DefaultsToOneDeviceAnsweringOnceFromTheProbesAddress) {
    const SimOptions options = Parse({});
    EXPECT_EQ(options.devices, 1u);
    EXPECT_EQ(options.replies, 1u);
    EXPECT_FALSE(options.firstIp.has_value());
    EXPECT_EQ(options.delay, milliseconds(0));
    EXPECT_FALSE(options.reply.empty());
    EXPECT_FALSE(options.allowAnyNetns);
}

TEST(SimOptions, ReplyTextBecomesGbkAfterEscapes) {
    // 设备 一号 in GBK, spelled out so a wrong conversion cannot agree with itself.
    EXPECT_EQ(Parse({"--reply-text", "设备\\n一号"}).reply, "\xC9\xE8\xB1\xB8\n\xD2\xBB\xBA\xC5");
    EXPECT_EQ(Parse({"--reply-text", "a\\tb\\r\\\\n"}).reply, "a\tb\r\\n");
}

TEST(SimOptions, ReplyTextThatWouldBeAlteredIsRefused) {
    EXPECT_THROW(Parse({"--reply-text", "smile \xF0\x9F\x98\x80"}), UsageError); // not in GBK
    EXPECT_THROW(Parse({"--reply-text", "\xC9\xE8"}), UsageError);               // not UTF-8
    EXPECT_THROW(Parse({"--reply-text", "a\\x41"}), UsageError);                 // unknown escape
    EXPECT_THROW(Parse({"--reply-text", "a\\"}), UsageError);                    // lone backslash
}

TEST(SimOptions, ReplyFileIsSentByteForByte) {
    const std::string bytes("\xC9\xE8\0\xFF\r\n", 6);
    EXPECT_EQ(Parse({"--reply-file", TempFile(bytes).Path()}).reply, bytes);
    EXPECT_EQ(Parse({"--reply-file", TempFile("").Path()}).reply, "");
    EXPECT_EQ(
        Parse({"--reply-file", TempFile(std::string(kMaxReplyBytes, 'x')).Path()}).reply.size(),
        kMaxReplyBytes);
    EXPECT_THROW(Parse({"--reply-file", TempFile(std::string(kMaxReplyBytes + 1, 'x')).Path()}),
                 UsageError);
    EXPECT_THROW(Parse({"--reply-file", "/nonexistent/reply"}), UsageError);
}

TEST(SimOptions, ReadsEveryOption) {
    const SimOptions options =
        Parse({"--devices", "1000", "--first-ip", "198.18.0.1", "--delay", "20", "--jitter", "5",
               "--replies", "2", "--log", "/x/log", "--ready-file", "/x/ready", "--allow-any-netns",
               "--spread", "7"});
    EXPECT_EQ(options.devices, 1000u);
    EXPECT_EQ(options.firstIp, 0xC6120001u);
    EXPECT_EQ(options.delay, milliseconds(20));
    EXPECT_EQ(options.jitter, milliseconds(5));
    EXPECT_EQ(options.spread, milliseconds(7));
    EXPECT_EQ(options.replies, 2u);
    EXPECT_EQ(options.logPath, "/x/log");
    EXPECT_EQ(options.readyPath, "/x/ready");
    EXPECT_TRUE(options.allowAnyNetns);
}

TEST(SimOptions, RefusesCommandLinesItCannotHonour) {
    const std::vector<std::vector<std::string_view>> bad = {
        {"--bogus", "1"},
        {"--delay"},
        {"--delay", "5", "--delay", "6"},
        {"--reply-text", "a", "--reply-file", "/dev/null"},
        {"--devices", "2"}, // no --first-ip to give them addresses
        {"--devices", "0", "--first-ip", "198.18.0.1"},
        {"--devices", "65537", "--first-ip", "10.0.0.1"},
        {"--devices", "10", "--first-ip", "255.255.255.250"},
        {"--devices", "2000", "--first-ip", "198.18.0.1", "--replies", "1000"},
        {"--replies", "0"},
        {"--delay", "-1"},
        {"--delay", "10x"},
        {"--delay", ""},
        {"--jitter", "600001"},
        {"--spread", "600001"},
        {"--reply-text", "~who has voip device?~"}, // simulators would answer each other
    };
    for (const auto& args : bad) {
        std::string line;
        for (const auto arg : args) {
            line += std::string(arg) + " ";
        }
        EXPECT_THROW(Parse(args), UsageError) << line;
    }
}

TEST(Ipv4Text, ParsesDottedQuadsOnly) {
    EXPECT_EQ(ParseIpv4("0.0.0.0"), 0u);
    EXPECT_EQ(ParseIpv4("255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseIpv4("198.51.100.2"), 0xC6336402u);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d",
                            "1.2.3.-4", "1.2.3.1000"}) {
        EXPECT_THROW(ParseIpv4(bad), UsageError) << bad;
    }
    EXPECT_EQ(FormatIpv4(0xC6120001u), "198.18.0.1");
}

TEST(Probe, OnlyTheExactTwentyTwoBytesMatch) {
    const std::string probe = "~who has voip device?~";
    ASSERT_EQ(probe.size(), 22u);
    EXPECT_TRUE(IsProbe(probe));
    EXPECT_FALSE(IsProbe(probe.substr(0, 21)));
    EXPECT_FALSE(IsProbe(probe + std::string(1, '\0')));
    EXPECT_FALSE(IsProbe("~who has voip device!~"));
    EXPECT_FALSE(IsProbe("~WHO HAS VOIP DEVICE?~"));
    EXPECT_FALSE(IsProbe(""));
}

TEST(SimLog, LinesRoundTripEveryByte) {
    const std::string bytes("\x00\x7E\xFF\n", 4);
    const std::string line = FormatLogLine("198.51.100.1", 60000, bytes);
    EXPECT_EQ(line, "198.51.100.1:60000 4 007eff0a");
    const SimLogLine parsed = ParseSimLogLine(line);
    EXPECT_EQ(parsed.ip, "198.51.100.1");
    EXPECT_EQ(parsed.port, 60000);
    EXPECT_EQ(parsed.bytes, bytes);
    EXPECT_EQ(ParseSimLogLine(FormatLogLine("1.2.3.4", 0, "")).bytes, "");
}

TEST(SimLog, MalformedLinesAreReported) {
    for (const char* bad : {"", "1.2.3.4:5", "1.2.3.4:5 2", "1.2.3.4:5 2 00", "1.2.3.4:5 1 0",
                            "1.2.3.4:5 1 zz", "1.2.3.4:65536 0 ", "1.2.3.4 5 0 ", "1.2.3.4: 0 "}) {
        EXPECT_THROW(ParseSimLogLine(bad), std::runtime_error) << bad;
    }
}

TEST(ReplyPlan, EachDeviceAnswersAsOftenAsAsked) {
    SimOptions options;
    options.devices = 3;
    options.replies = 2;
    options.delay = milliseconds(40);
    std::mt19937_64 random(1);
    const auto plan = PlanReplies(options, random);
    ASSERT_EQ(plan.size(), 6u);
    const std::vector<std::uint32_t> order = {0, 0, 1, 1, 2, 2};
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].device, order[i]);
        EXPECT_EQ(plan[i].after, milliseconds(40));
    }
}

TEST(ReplyPlan, SpreadPlacesOneProbesRepliesEvenlyOverItsTime) {
    SimOptions options;
    options.devices = 2;
    options.replies = 2;
    options.delay = milliseconds(10);
    options.spread = milliseconds(20);
    std::mt19937_64 random(1);
    const auto plan = PlanReplies(options, random);
    ASSERT_EQ(plan.size(), 4u);
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].after, milliseconds(10 + 5 * static_cast<int>(i)));
        EXPECT_EQ(plan[i].device, i / 2);
    }
}

TEST(ReplyPlan, JitterSpreadsRepliesWithinItsRangeInDueOrder) {
    SimOptions options;
    options.devices = 500;
    options.delay = milliseconds(10);
    options.jitter = milliseconds(30);
    std::mt19937_64 random(7);
    const auto plan = PlanReplies(options, random);
    ASSERT_EQ(plan.size(), 500u);
    std::map<std::uint32_t, int> perDevice;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_GE(plan[i].after, milliseconds(10));
        EXPECT_LE(plan[i].after, milliseconds(40));
        if (i > 0) {
            EXPECT_LE(plan[i - 1].after, plan[i].after);
        }
        ++perDevice[plan[i].device];
    }
    EXPECT_EQ(perDevice.size(), 500u);
    EXPECT_NE(plan.front().after, plan.back().after);
}

TEST(LabNetns, NamesFollowTheLabPattern) {
    EXPECT_TRUE(IsLabNetnsName("dfl123-4567-finder"));
    EXPECT_TRUE(IsLabNetnsName("dfl1-0-dev-a"));
    for (const char* bad : {"", "dfl", "dfl123-4567-", "dfl-1-finder", "dfl12-finder",
                            "dflx-1-finder", "xdfl1-2-finder", "dfl1-2"}) {
        EXPECT_FALSE(IsLabNetnsName(bad)) << bad;
    }
}

TEST(LabNetns, OutsideALabNothingCountsAsOne) {
    if (!LabId().empty()) {
        GTEST_SKIP() << "running inside a lab";
    }
    EXPECT_EQ(CurrentLabNetns(), "");
    EXPECT_FALSE(InLab());
}

} // namespace
