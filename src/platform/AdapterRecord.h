#pragma once

#include "platform/AdapterSource.h"

#include <cstdint>
#include <string>
#include <vector>

// What the host tells about one network interface, gathered from its several
// sources, before it is put into the fixed-size adapter record.

struct Ipv4Address {
    std::string address; // dotted quad
    std::string mask;    // dotted quad
};

struct DhcpLease {
    std::string address; // the address the lease gave
    std::string server;  // the DHCP server's address, empty when not recorded

    friend bool operator==(const DhcpLease&, const DhcpLease&) = default;
};

struct InterfaceFacts {
    std::uint32_t index = 0;
    std::string name;  // the kernel's name, UTF-8
    std::string model; // driver or device model, empty when unknown
    std::vector<std::uint8_t> hardwareAddress;
    std::vector<Ipv4Address> addresses; // the kernel's order, primary first
    std::vector<std::string> gateways;  // default routes through it, preferred first
    std::vector<DhcpLease> leases;      // leases the DHCP clients recorded for it
};

// The record for one interface. Texts that do not fit are cut; the hardware
// address keeps its first 8 bytes. DHCP counts as enabled only when a recorded
// lease gave one of the addresses the interface holds now, so that a lease
// file left behind by an earlier configuration does not claim it.
IpAdapterInfo MakeAdapterRecord(const InterfaceFacts& facts);

// The bytes the records take in the caller's buffer.
std::uint32_t RecordChainSize(const std::vector<IpAdapterInfo>& records);
