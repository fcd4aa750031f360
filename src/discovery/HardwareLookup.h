#pragma once

#include "discovery/VendorRegistry.h"
#include "platform/NeighbourTable.h"

#include <future>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// A replying device's hardware address and maker.
struct TDeviceHardware {
    std::string mac;    // "00-1A-2B-3C-4D-5E"; empty when the neighbour table has none
    std::string vendor; // the registry's organisation name (UTF-8); empty when unknown
};

// Finds the hardware of replying devices without sending anything: the MAC
// from the kernel's neighbour table, which the address resolution that
// carried the reply filled, and the maker from the registry. Keeps a copy of
// the table and reads it again only when an address asked for is missing from
// the copy: once per call, however many addresses it asks for. One thread
// uses an object. The registry (some 46,000 prefixes, tens of milliseconds)
// is read by a thread of its own from construction on, so the user's thread
// does not wait for it when the first replies come; a lookup before it is
// done waits for the rest.
class THardwareLookup {
public:
    explicit THardwareLookup(std::string neighbourTable = kNeighbourTablePath,
                             std::string registryDirectory = TVendorRegistry::DebianDirectory);
    ~THardwareLookup();
    THardwareLookup(THardwareLookup&&) noexcept;
    THardwareLookup& operator=(THardwareLookup&&) noexcept;

    TDeviceHardware Find(const std::string& ip);
    // The hardware of each of `ips`, in their order.
    std::vector<TDeviceHardware> FindAll(const std::vector<std::string>& ips);

private:
    TDeviceHardware HardwareOf(const std::string& mac);
    void ReadTable();

    std::string neighbourTable_;
    std::unordered_map<std::string, std::string> macs_;
    // The loading thread's result, taken into registry_ at the first maker asked for.
    std::future<std::unique_ptr<TVendorRegistry>> loading_;
    std::unique_ptr<TVendorRegistry> registry_;
};
