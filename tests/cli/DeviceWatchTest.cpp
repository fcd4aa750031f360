#include "cli/DeviceWatch.h"
#include "cli/WatchEvent.h"

#include <gtest/gtest.h>

namespace {

// One round of a watch: the replies heard ("ip=info", "ip:port=info"), then
// the round's end. Returns the events made: "up a, changed b, down c".
std::string Round(TDeviceWatch& watch, const std::vector<std::string>& replies) {
    std::string events;
    const auto add = [&events](WatchEventKind kind, const std::string& ip) {
        events += (events.empty() ? "" : ", ") + std::string(WatchEventName(kind)) + " " + ip;
    };
    for (const std::string& reply : replies) {
        const auto equals = reply.find('='), colon = reply.find(':');
        const std::string ip = reply.substr(0, std::min(equals, colon));
        const int port = colon < equals ? std::stoi(reply.substr(colon + 1)) : 6001;
        if (const auto kind =
                watch.Heard(0, ip, static_cast<std::uint16_t>(port), reply.substr(equals + 1)))
            add(*kind, ip);
    }
    for (const TDeviceWatch::Device& device : watch.EndRound())
        add(WatchEventKind::Down, device.reply.IP);
    return events;
}

} // namespace

TEST(DeviceWatch, UpChangedAndDownAfterTheMissesInARow) {
    TDeviceWatch watch(2);
    const std::pair<std::vector<std::string>, std::string> steps[] = {
        {{"a=1", "b=1", "c=1"}, "up a, up b, up c"},
        {{"a=1", "b=1", "c=1", "a=1"}, ""},   // repeats within a round: nothing
        {{"a=1", "c=2", "c=2"}, "changed c"}, // b misses one
        {{"a=1", "c=2", "b=1"}, ""},          // b back before its second miss
        {{"a=1", "c=2"}, ""},                 // b misses one
        {{"a=1", "c=2"}, "down b"},           // and a second: down, forgotten
        {{"a=1", "c=2", "b=1"}, "up b"},      // its reply is an up again
        {{"a:6002=1", "b=3", "b=1", "c=2"}, "changed a, changed b, changed b"},
        {{}, ""},
        {{}, "down a, down b, down c"},
        {{}, ""},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i)
        EXPECT_EQ(Round(watch, steps[i].first), steps[i].second) << "round " << i;
    EXPECT_EQ(watch.Tracked(), 0u);
}

TEST(DeviceWatch, DevicesBeyondTheCapAreCountedNotTrackedUntilASlotFrees) {
    TDeviceWatch watch(1, 2);
    EXPECT_EQ(Round(watch, {"a=1", "b=1", "c=1", "c=1"}), "up a, up b");
    EXPECT_EQ(watch.Untracked(), 2u);
    EXPECT_EQ(Round(watch, {"a=1"}), "down b");
    EXPECT_EQ(Round(watch, {"a=1", "c=1"}), "up c");
    EXPECT_EQ(watch.Tracked(), 2u);
}

TEST(WatchEvent, EachFormatLeadsWithTheTimeAndTheEvent) {
    TDEVICE_INFO1 record;
    record.IP = "198.51.100.2";
    record.Port = "6001";
    record.Info = "X3\nv2";
    const ShownReply reply{record, {"00-1A-2B-3C-4D-5E", "Phones"}, 0};
    const std::chrono::system_clock::time_point time{std::chrono::milliseconds(1796839279042)};
    EXPECT_EQ(
        FormatWatchEvent(ReplyFormat::Json, WatchEventKind::Changed, time, reply),
        "{\"event\":\"changed\",\"time\":\"2026-12-09T18:01:19.042Z\",\"ip\":\"198.51.100.2\","
        "\"port\":6001,\"info\":\"X3\\nv2\",\"hex\":\"58330a7632\",\"mac\":\"00-1A-2B-3C-"
        "4D-5E\",\"vendor\":\"Phones\"}\n");
    EXPECT_EQ(FormatWatchEvent(ReplyFormat::Tsv, WatchEventKind::Up, time, reply),
              "2026-12-09T18:01:19.042Z\tup\t198.51.100.2\t6001\tX3\\nv2\t00-1A-2B-3C-4D-5E\t"
              "Phones\n");
    const std::string lead = "2026-12-09T18:01:19.042Z  down    ";
    EXPECT_EQ(FormatWatchEvent(ReplyFormat::Text, WatchEventKind::Down, time, reply),
              lead + "198.51.100.2     00-1A-2B-3C-4D-5E  Phones\n" +
                  std::string(lead.size(), ' ') + std::string(17, ' ') + "X3\n" +
                  std::string(lead.size() + 17, ' ') + "v2\n");
}
