#include "cli/WatchMetrics.h"

#include "platform/WholeFileReplace.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

struct Family {
    const char* name;
    const char* type;
    const char* help;
};

constexpr Family kDeviceUp{"device_finder_device_up", "gauge",
                           "1 while the device answers, 0 once it missed --misses probes in a row"};
constexpr Family kLastReply{"device_finder_device_last_reply_timestamp_seconds", "gauge",
                            "When the device last replied, in seconds since the Unix epoch"};
constexpr Family kDevicesUp{"device_finder_devices_up", "gauge", "Devices up on the adapter"};
constexpr Family kProbes{"device_finder_probes_total", "counter", "Probes broadcast"};
constexpr Family kReplies{"device_finder_replies_total", "counter", "Replies received"};
constexpr Family kDrops{"device_finder_kernel_drops_total", "counter",
                        "Datagrams the kernel dropped for the listening socket, its queue full"};
constexpr Family kUntracked{"device_finder_untracked_replies_total", "counter",
                            "Replies from devices beyond the tracked-device cap"};

void Head(std::string& text, const Family& family) {
    text += std::string("# HELP ") + family.name + " " + family.help + "\n# TYPE " + family.name +
            " " + family.type + "\n";
}

void Sample(std::string& text, const Family& family, const std::string& labels,
            const std::string& value) {
    text += std::string(family.name) + "{" + labels + "} " + value + "\n";
}

std::string Label(const char* name, std::string_view value) {
    return std::string(name) + "=\"" + MetricsLabelValue(value) + "\"";
}

std::string DeviceLabels(const MetricsDevice& device) {
    return Label("adapter", device.adapter) + "," + Label("ip", device.ip) + "," +
           Label("mac", device.mac) + "," + Label("vendor", device.vendor);
}

// Seconds to the millisecond, as the watch's event times are.
std::string Seconds(std::chrono::system_clock::time_point time) {
    const long long ms =
        std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", ms / 1000, ms % 1000);
    return text;
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw std::runtime_error("cannot " + what + " the metrics file " + path + ": " +
                             std::strerror(error));
}

} // namespace

std::string MetricsLabelValue(std::string_view value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string MetricsText(const std::vector<MetricsAdapter>& adapters,
                        const std::vector<MetricsDevice>& devices) {
    std::string text;
    Head(text, kDeviceUp);
    for (const MetricsDevice& device : devices)
        Sample(text, kDeviceUp, DeviceLabels(device), device.up ? "1" : "0");
    Head(text, kLastReply);
    for (const MetricsDevice& device : devices)
        Sample(text, kLastReply, DeviceLabels(device), Seconds(device.lastReply));
    const std::pair<const Family*, std::uint64_t MetricsAdapter::*> counts[] = {
        {&kDevicesUp, &MetricsAdapter::devicesUp},
        {&kProbes, &MetricsAdapter::probes},
        {&kReplies, &MetricsAdapter::replies},
        {&kUntracked, &MetricsAdapter::untracked},
    };
    for (const auto& [family, count] : counts) {
        Head(text, *family);
        for (const MetricsAdapter& adapter : adapters)
            Sample(text, *family, Label("adapter", adapter.name), std::to_string(adapter.*count));
    }
    Head(text, kDrops);
    for (const MetricsAdapter& adapter : adapters)
        if (adapter.kernelDrops)
            Sample(text, kDrops, Label("adapter", adapter.name),
                   std::to_string(*adapter.kernelDrops));
    return text;
}

void ReplaceFile(const std::string& path, const std::string& text) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const TReplaceOutcome outcome =
        ReplaceWholeFile(path, folder + "." + name + ".XXXXXX", text, 0644, false);
    if (outcome.Step == TReplaceStep::Create)
        Fail("create a temporary file beside", path, outcome.Error);
    if (outcome.Step == TReplaceStep::Write)
        Fail("write", path, outcome.Error);
}

TWatchMetrics::TWatchMetrics(std::string path, std::map<int, std::string> adapters,
                             std::size_t capacity)
    : path_(std::move(path)), names_(std::move(adapters)), capacity_(capacity) {
    for (const auto& [label, name] : names_)
        counters_[label].name = name;
}

void TWatchMetrics::Replied(int adapter, bool tracked) {
    ++counters_[adapter].replies;
    if (!tracked)
        ++counters_[adapter].untracked;
}

void TWatchMetrics::CameUp(int adapter, const std::string& ip) {
    std::erase_if(down_, [&](const MetricsDevice& device) {
        return device.adapter == Name(adapter) && device.ip == ip;
    });
}

void TWatchMetrics::WentDown(const TDeviceWatch::Device& device) {
    down_.push_back(Series(device, false));
}

void TWatchMetrics::Write(const TDeviceWatch& devices,
                          const std::map<int, std::uint64_t>& kernelDrops) {
    const std::size_t room = capacity_ - std::min(capacity_, devices.Tracked());
    while (down_.size() > room)
        down_.pop_front();
    std::vector<MetricsDevice> series;
    series.reserve(devices.Tracked() + down_.size());
    for (auto& [label, adapter] : counters_)
        adapter.devicesUp = 0;
    for (const auto& [key, device] : devices.Devices()) {
        series.push_back(Series(device, true));
        ++counters_[device.adapter].devicesUp;
    }
    series.insert(series.end(), down_.begin(), down_.end());
    std::vector<MetricsAdapter> adapters;
    for (auto& [label, adapter] : counters_) {
        const auto drops = kernelDrops.find(label);
        adapter.kernelDrops =
            drops == kernelDrops.end() ? std::nullopt : std::optional<std::uint64_t>(drops->second);
        adapters.push_back(adapter);
    }
    ReplaceFile(path_, MetricsText(adapters, series));
}

MetricsDevice TWatchMetrics::Series(const TDeviceWatch::Device& device, bool up) const {
    return {Name(device.adapter), device.reply.IP, device.hardware.mac, device.hardware.vendor, up,
            device.lastReply};
}

std::string TWatchMetrics::Name(int adapter) const {
    const auto name = names_.find(adapter);
    return name == names_.end() ? std::string() : name->second;
}
