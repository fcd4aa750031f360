#include "platform/AdapterSource.h"

#include "platform/AdapterRecord.h"
#include "platform/DhcpLease.h"
#include "platform/RouteTable.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <ifaddrs.h>
#include <iterator>
#include <map>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sstream>
#include <string>

namespace {

struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfAddrsList = std::unique_ptr<ifaddrs, IfAddrsDeleter>;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string DottedQuad(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET)
        return "0.0.0.0";
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                     sizeof text);
}

// The driver of the interface's device, from sysfs; virtual interfaces have none.
std::string DriverName(const std::string& interfaceName) {
    std::istringstream uevent(ReadFile("/sys/class/net/" + interfaceName + "/device/uevent"));
    std::string line;
    while (std::getline(uevent, line))
        if (line.starts_with("DRIVER="))
            return line.substr(7);
    return {};
}

// An address entry's name is its label ("eth0:1" for an alias); the interface
// name is the part before the colon, which interface names never contain.
std::string LinkName(const char* label) {
    const std::string name = label;
    return name.substr(0, name.find(':'));
}

bool IsLinkEntry(const ifaddrs& entry) {
    return entry.ifa_addr == nullptr || entry.ifa_addr->sa_family == AF_PACKET;
}

InterfaceFacts LinkFacts(const ifaddrs& entry) {
    InterfaceFacts facts;
    facts.name = entry.ifa_name;
    if (entry.ifa_addr == nullptr) {
        // A link without a hardware address (a tunnel, for one) carries no index.
        facts.index = if_nametoindex(entry.ifa_name);
    } else {
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry.ifa_addr);
        facts.index = static_cast<std::uint32_t>(link->sll_ifindex);
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        facts.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
    }
    return facts;
}

// An adapter the user switched off is not offered: binding to it listens on
// 0.0.0.0 and the probe would leave by whatever route the table picks.
bool IsListedLink(const ifaddrs& entry) {
    return IsLinkEntry(entry) && (entry.ifa_flags & IFF_UP) && !(entry.ifa_flags & IFF_LOOPBACK);
}

// The administratively up interfaces of this network namespace that have an
// IPv4 address, with their addresses, loopback left out, in interface-index
// order. One without an address cannot be searched: bound, it would listen on
// 0.0.0.0 and the probe would leave onto whatever network the routing table
// picks. Returns 0 or the C library's error number.
int ReadInterfaces(std::vector<InterfaceFacts>& interfaces) {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0)
        return errno;
    const IfAddrsList list(raw);
    std::map<std::string, InterfaceFacts> byName;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next)
        if (IsListedLink(*entry))
            byName.try_emplace(entry->ifa_name, LinkFacts(*entry));
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if (auto link = byName.find(LinkName(entry->ifa_name)); link != byName.end())
            link->second.addresses.push_back(
                {DottedQuad(entry->ifa_addr), DottedQuad(entry->ifa_netmask)});
    }
    interfaces.clear();
    for (auto& [name, facts] : byName)
        if (!facts.addresses.empty())
            interfaces.push_back(std::move(facts));
    std::stable_sort(
        interfaces.begin(), interfaces.end(),
        [](const InterfaceFacts& a, const InterfaceFacts& b) { return a.index < b.index; });
    return 0;
}

void AddSystemFacts(InterfaceFacts& facts, const std::string& routeTable,
                    const LeaseLocations& leases) {
    facts.model = DriverName(facts.name);
    facts.gateways = DefaultGateways(routeTable, facts.name);
    facts.leases = FindLeases(leases, facts.name, facts.index);
}

} // namespace

std::uint32_t GetAdaptersInfo(std::vector<IpAdapterInfo>& adapters, std::uint32_t& size) {
    std::vector<InterfaceFacts> interfaces;
    if (const int error = ReadInterfaces(interfaces))
        return static_cast<std::uint32_t>(error);
    if (interfaces.empty())
        return kAdaptersNoData;
    const std::string routeTable = ReadFile("/proc/net/route");
    const LeaseLocations leases = LeaseLocations::System();
    std::vector<IpAdapterInfo> records;
    for (InterfaceFacts& facts : interfaces) {
        AddSystemFacts(facts, routeTable, leases);
        records.push_back(MakeAdapterRecord(facts));
    }
    if (const std::uint32_t needed = RecordChainSize(records); needed > size) {
        size = needed;
        return kAdaptersBufferOverflow;
    }
    adapters = std::move(records);
    return kAdaptersOk;
}
