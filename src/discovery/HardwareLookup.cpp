#include "discovery/HardwareLookup.h"

#include <algorithm>

THardwareLookup::THardwareLookup(std::string neighbourTable, std::string registryDirectory)
    : neighbourTable_(std::move(neighbourTable)),
      loading_(std::async(std::launch::async, [directory = std::move(registryDirectory)] {
          return std::make_unique<TVendorRegistry>(directory);
      })) {}

THardwareLookup::~THardwareLookup() = default;
THardwareLookup::THardwareLookup(THardwareLookup&&) noexcept = default;
THardwareLookup& THardwareLookup::operator=(THardwareLookup&&) noexcept = default;

TDeviceHardware THardwareLookup::Find(const std::string& ip) {
    return FindAll({ip}).front();
}

std::vector<TDeviceHardware> THardwareLookup::FindAll(const std::vector<std::string>& ips) {
    if (std::any_of(ips.begin(), ips.end(),
                    [this](const std::string& ip) { return !macs_.contains(ip); }))
        ReadTable();
    std::vector<TDeviceHardware> found;
    found.reserve(ips.size());
    for (const std::string& ip : ips) {
        const auto entry = macs_.find(ip);
        found.push_back(HardwareOf(entry == macs_.end() ? std::string() : entry->second));
    }
    return found;
}

TDeviceHardware THardwareLookup::HardwareOf(const std::string& mac) {
    TDeviceHardware hardware;
    hardware.mac = mac;
    if (hardware.mac.empty())
        return hardware;
    if (!registry_)
        registry_ = loading_.get();
    hardware.vendor = registry_->Vendor(hardware.mac);
    return hardware;
}

void THardwareLookup::ReadTable() {
    macs_.clear();
    // The same address on two segments: the first entry stands.
    for (NeighbourEntry& entry : ReadNeighbourTable(neighbourTable_))
        macs_.try_emplace(std::move(entry.ip), std::move(entry.mac));
}
