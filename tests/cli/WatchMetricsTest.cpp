#include "cli/WatchMetrics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The device_up samples of the text, one "ip=value" each, in order.
std::string UpSamples(const std::string& text) {
    std::string samples;
    const std::string name = "device_finder_device_up{";
    for (std::size_t at = 0; (at = text.find("\n" + name, at)) != std::string::npos; ++at) {
        const std::size_t ip = text.find("ip=\"", at) + 4;
        const std::size_t value = text.find("} ", at) + 2;
        samples += (samples.empty() ? "" : " ") + text.substr(ip, text.find('"', ip) - ip) + "=" +
                   text.substr(value, text.find('\n', value) - value);
    }
    return samples;
}

} // namespace

TEST(WatchMetrics, LabelValuesEscapeBackslashQuoteAndLineFeedOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Ayecom Technology Co., Ltd.", "Ayecom Technology Co., Ltd."},
        {"a\\b", "a\\\\b"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"two\nlines", "two\\nlines"},
        {"tab\there\r", "tab\there\r"},
        {"深圳市\\\"\n", "深圳市\\\\\\\"\\n"},
    };
    for (const auto& [value, escaped] : cases)
        EXPECT_EQ(MetricsLabelValue(value), escaped) << value;
}

TEST(WatchMetrics, EachFamilyHasHelpTypeAndItsSamples) {
    MetricsDevice device{
        "eth0",
        "10.0.0.5",
        "00-1A-2B-3C-4D-5E",
        "Co \"X\"",
        true,
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1'765'000'000'042))};
    MetricsDevice gone = device;
    gone.ip = "10.0.0.6";
    gone.up = false;
    MetricsAdapter adapter{"eth0", 1, 7, 9, 2, 3};
    MetricsAdapter unread{"eth1", 0, 7, 0, 0, std::nullopt};
    const std::string labels =
        "{adapter=\"eth0\",ip=\"10.0.0.5\",mac=\"00-1A-2B-3C-4D-5E\",vendor=\"Co \\\"X\\\"\"}";
    std::string goneLabels = labels;
    goneLabels.replace(goneLabels.find(".5"), 2, ".6");
    const std::string text = MetricsText({adapter, unread}, {device, gone});
    const std::pair<std::string, std::vector<std::string>> families[] = {
        {"device_finder_device_up gauge", {labels + " 1", goneLabels + " 0"}},
        {"device_finder_device_last_reply_timestamp_seconds gauge", {labels + " 1765000000.042"}},
        {"device_finder_devices_up gauge", {"{adapter=\"eth0\"} 1", "{adapter=\"eth1\"} 0"}},
        {"device_finder_probes_total counter", {"{adapter=\"eth0\"} 7", "{adapter=\"eth1\"} 7"}},
        {"device_finder_replies_total counter", {"{adapter=\"eth0\"} 9"}},
        {"device_finder_untracked_replies_total counter", {"{adapter=\"eth0\"} 2"}},
        {"device_finder_kernel_drops_total counter", {"{adapter=\"eth0\"} 3"}},
    };
    for (const auto& [type, samples] : families) {
        const std::string name = type.substr(0, type.find(' '));
        const std::size_t help = text.find("# HELP " + name + " ");
        const std::size_t at = text.find("\n# TYPE " + type + "\n");
        ASSERT_LT(help, at) << type;
        const std::size_t end = std::min(text.find("# HELP", at), text.size());
        const std::string block = text.substr(at, end - at);
        for (const std::string& sample : samples)
            EXPECT_NE(block.find("\n" + name + sample), std::string::npos) << sample;
    }
    EXPECT_EQ(text.find("kernel_drops_total{adapter=\"eth1\"}"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST(WatchMetrics, DownDevicesKeptAtZeroUntilUpAgainOrTheOldestMakesRoom) {
    const std::string path = testing::TempDir() + "/watch-metrics-test.prom";
    TWatchMetrics metrics(path, {{0, "eth0"}}, 3);
    TDeviceWatch watch(1, 3);
    const auto round = [&](const std::vector<std::string>& heard) {
        for (const std::string& ip : heard) {
            if (watch.Heard(0, ip, 6001, "x") == WatchEventKind::Up)
                metrics.CameUp(0, ip);
            metrics.Replied(0, watch.Find(0, ip) != nullptr);
        }
        for (const TDeviceWatch::Device& device : watch.EndRound())
            metrics.WentDown(device);
        metrics.Write(watch, {});
        return UpSamples(ReadFile(path));
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
    EXPECT_NE(ReadFile(path).find("device_finder_untracked_replies_total{adapter=\"eth0\"} 1\n"),
              std::string::npos);
}

TEST(WatchMetrics, ReplacedFileIsReadableByAllAndLeavesNoTemporaryFile) {
    const std::filesystem::path folder = testing::TempDir() + "/watch-metrics-replace";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "m.prom").string();
    ReplaceFile(path, "old\n");
    ReplaceFile(path, "new\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(ReadFile(path), "new\n");
    EXPECT_THROW(ReplaceFile((folder / "missing" / "m.prom").string(), "x"), std::runtime_error);
    std::filesystem::create_directory(folder / "taken.prom");
    std::filesystem::create_directory(folder / "taken.prom" / "inside");
    EXPECT_THROW(ReplaceFile((folder / "taken.prom").string(), "x"), std::runtime_error);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              2);
}
