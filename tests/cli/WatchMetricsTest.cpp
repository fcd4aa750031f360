#include "cli/WatchMetrics.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

TEST(WatchMetrics, LabelValuesEscapeBackslashQuoteAndLineFeedOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"Ayecom Technology Co., Ltd.", "Ayecom Technology Co., Ltd."},
        {"a\\b \"c\"\nd", "a\\\\b \\\"c\\\"\\nd"},
        {"tab\there\r", "tab\there\r"},
        {"深圳市\\\"\n", "深圳市\\\\\\\"\\n"},
    };
    for (const auto& [value, escaped] : cases)
        EXPECT_EQ(MetricsLabelValue(value), escaped) << value;
}

TEST(WatchMetrics, DownDevicesKeptAtZeroUntilUpAgainOrTheOldestMakesRoom) {
    const std::string path = testing::TempDir() + "/watch-metrics-test.prom";
    TWatchMetrics metrics(path, {{0, "eth0"}}, 3);
    TDeviceWatch watch(1, 3);
    // One round: the replies heard, then the file's device_up samples, "ip=value".
    const auto round = [&](const std::vector<std::string>& heard) {
        for (const std::string& ip : heard) {
            if (watch.Heard(0, ip, 6001, "x") == WatchEventKind::Up)
                metrics.CameUp(0, ip);
            metrics.Replied(0, watch.Find(0, ip) != nullptr);
        }
        for (const TDeviceWatch::Device& device : watch.EndRound())
            metrics.WentDown(device);
        metrics.Write(watch, {});
        std::ifstream in(path);
        const std::regex up(R"re(^device_finder_device_up\{adapter="eth0",ip="(\w)",.*\} (\d)$)re");
        std::string samples;
        std::smatch match;
        for (std::string line; std::getline(in, line);)
            if (std::regex_match(line, match, up))
                samples += (samples.empty() ? "" : " ") + match.str(1) + "=" + match.str(2);
        return samples;
    };
    const std::pair<std::vector<std::string>, std::string> steps[] = {
        {{"a", "b", "c"}, "a=1 b=1 c=1"},
        {{"c"}, "c=1 a=0 b=0"},
        {{"a", "c"}, "a=1 c=1 b=0"},           // a up again: one series
        {{}, "b=0 a=0 c=0"},                   // in the order they went down
        {{"d", "e"}, "d=1 e=1 c=0"},           // the oldest gone make room
        {{"d", "e", "f", "g"}, "d=1 e=1 f=1"}, // g beyond the cap
    };
    for (std::size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(round(steps[i].first), steps[i].second) << "round " << i;
}
