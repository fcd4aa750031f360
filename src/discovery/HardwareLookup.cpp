#include "discovery/HardwareLookup.h"

THardwareLookup::THardwareLookup(std::string neighbourTable, std::string registryDirectory)
    : neighbourTable_(std::move(neighbourTable)), registryDirectory_(std::move(registryDirectory)) {
}

THardwareLookup::~THardwareLookup() = default;
THardwareLookup::THardwareLookup(THardwareLookup&&) noexcept = default;
THardwareLookup& THardwareLookup::operator=(THardwareLookup&&) noexcept = default;

TDeviceHardware THardwareLookup::Find(const std::string& ip) {
    TDeviceHardware hardware;
    hardware.mac = MacOf(ip);
    if (hardware.mac.empty())
        return hardware;
    if (!registry_)
        registry_ = std::make_unique<TVendorRegistry>(registryDirectory_);
    hardware.vendor = registry_->Vendor(hardware.mac);
    return hardware;
}

std::string THardwareLookup::MacOf(const std::string& ip) {
    auto found = macs_.find(ip);
    if (found == macs_.end()) {
        ReadTable();
        found = macs_.find(ip);
    }
    return found == macs_.end() ? std::string() : found->second;
}

void THardwareLookup::ReadTable() {
    macs_.clear();
    // The same address on two segments: the first entry stands.
    for (NeighbourEntry& entry : ReadNeighbourTable(neighbourTable_))
        macs_.try_emplace(std::move(entry.ip), std::move(entry.mac));
}
