#pragma once

#include "cli/DeviceWatch.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A watch's state as Prometheus metrics, in the text exposition format 0.0.4,
// written to a file that the node exporter's textfile collector reads. No
// listener of our own: the exporter that is already there serves it.

// One device's series: up (1) or gone down (0), and when it last replied.
struct MetricsDevice {
    std::string adapter; // interface name
    std::string ip;
    std::string mac;
    std::string vendor;
    bool up = true;
    std::chrono::system_clock::time_point lastReply;
};

// One adapter's series. Counters count from the watch's start; the kernel's
// drops are left out while they cannot be read.
struct MetricsAdapter {
    std::string name;
    std::uint64_t devicesUp = 0;
    std::uint64_t probes = 0;
    std::uint64_t replies = 0;
    std::uint64_t untracked = 0;
    std::optional<std::uint64_t> kernelDrops;
};

// A label value as the format quotes it: backslash, double quote and line
// feed escaped, every other byte as it is.
std::string MetricsLabelValue(std::string_view value);

// The whole exposition: HELP and TYPE lines for every family, then its samples.
std::string MetricsText(const std::vector<MetricsAdapter>& adapters,
                        const std::vector<MetricsDevice>& devices);

// Replaces the file `path` with `text` so that a reader sees the old file or
// the new one, never a part: a temporary file in the same folder (a hidden
// name, which the textfile collector skips), renamed over it. The file is
// readable by all, as the exporter runs as a user of its own. Raises on a
// failure, leaving no temporary file behind.
void ReplaceFile(const std::string& path, const std::string& text);

// What a watch counts for its metrics file. Devices that went down are kept
// at 0, so an alert on `== 0` can fire, until they come up again or room is
// needed: tracked and kept together stay within `capacity`, the oldest gone
// down dropped first. Used by the watch's main thread only.
class TWatchMetrics {
public:
    // `adapters`: the interface name of each adapter label the watch uses.
    TWatchMetrics(std::string path, std::map<int, std::string> adapters,
                  std::size_t capacity = TDeviceWatch::DefaultCapacity);

    void Probed(int adapter) { ++counters_[adapter].probes; }
    // A reply; `tracked` is false for one from a device beyond the cap.
    void Replied(int adapter, bool tracked);
    void CameUp(int adapter, const std::string& ip);
    void WentDown(const TDeviceWatch::Device& device);

    // Writes the file for the devices tracked now. `kernelDrops`: each adapter
    // label's drops, where known.
    void Write(const TDeviceWatch& devices, const std::map<int, std::uint64_t>& kernelDrops);

private:
    MetricsDevice Series(const TDeviceWatch::Device& device, bool up) const;
    // The adapter label's interface name.
    std::string Name(int adapter) const;

    std::string path_;
    std::map<int, std::string> names_;
    std::size_t capacity_;
    std::map<int, MetricsAdapter> counters_;
    std::deque<MetricsDevice> down_; // in the order they went down
};
