#include "cli/DeviceWatch.h"

TDeviceWatch::TDeviceWatch(int misses, std::size_t capacity)
    : misses_(misses), capacity_(capacity) {}

std::optional<WatchEventKind> TDeviceWatch::Heard(int adapter, const std::string& ip,
                                                  std::uint16_t port, const std::string& info) {
    const std::string portText = std::to_string(port);
    auto found = devices_.find({adapter, ip});
    if (found == devices_.end()) {
        if (devices_.size() >= capacity_) {
            ++untracked_;
            return std::nullopt;
        }
        Device device;
        device.reply.IP = ip;
        device.reply.Port = portText;
        device.reply.Info = info;
        device.adapter = adapter;
        device.heard = true;
        devices_.emplace(std::pair{adapter, ip}, std::move(device));
        return WatchEventKind::Up;
    }
    Device& device = found->second;
    device.heard = true;
    if (device.reply.Port == portText && device.reply.Info == info)
        return std::nullopt;
    device.reply.Port = portText;
    device.reply.Info = info;
    return WatchEventKind::Changed;
}

TDeviceWatch::Device* TDeviceWatch::Find(int adapter, const std::string& ip) {
    const auto found = devices_.find({adapter, ip});
    return found == devices_.end() ? nullptr : &found->second;
}

std::vector<TDeviceWatch::Device> TDeviceWatch::EndRound() {
    std::vector<Device> down;
    for (auto it = devices_.begin(); it != devices_.end();) {
        Device& device = it->second;
        device.misses = device.heard ? 0 : device.misses + 1;
        device.heard = false;
        if (device.misses >= misses_) {
            down.push_back(std::move(device));
            it = devices_.erase(it);
        } else {
            ++it;
        }
    }
    return down;
}
