#include "platform/RouteTable.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstdint>
#include <net/route.h>
#include <optional>
#include <sstream>

namespace {

struct Route {
    std::string interfaceName;
    std::uint32_t destination = 0;
    std::uint32_t gateway = 0;
    unsigned flags = 0;
    long metric = 0;
    std::uint32_t mask = 0;
};

template <typename T> bool ParseNumber(const std::string& text, T& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

// One line: Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the
// addresses are the kernel's 32-bit values in network byte order, printed in hex.
std::optional<Route> ParseLine(const std::string& line) {
    std::istringstream in(line);
    Route route;
    std::string destination, gateway, flags, refCount, use, metric, mask;
    if (!(in >> route.interfaceName >> destination >> gateway >> flags >> refCount >> use >>
          metric >> mask))
        return std::nullopt;
    if (!ParseNumber(destination, route.destination, 16) ||
        !ParseNumber(gateway, route.gateway, 16) || !ParseNumber(flags, route.flags, 16) ||
        !ParseNumber(metric, route.metric, 10) || !ParseNumber(mask, route.mask, 16))
        return std::nullopt;
    return route;
}

bool IsDefaultRouteVia(const Route& route, std::string_view interfaceName) {
    return route.interfaceName == interfaceName && route.destination == 0 && route.mask == 0 &&
           (route.flags & RTF_UP) && (route.flags & RTF_GATEWAY) && route.gateway != 0;
}

std::string DottedQuad(std::uint32_t networkOrder) {
    in_addr address{};
    address.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &address, text, sizeof text);
}

} // namespace

std::vector<std::string> DefaultGateways(std::string_view routeTable,
                                         std::string_view interfaceName) {
    std::vector<Route> routes;
    std::istringstream lines{std::string(routeTable)};
    std::string line;
    while (std::getline(lines, line))
        if (auto route = ParseLine(line); route && IsDefaultRouteVia(*route, interfaceName))
            routes.push_back(*route);
    std::stable_sort(routes.begin(), routes.end(),
                     [](const Route& a, const Route& b) { return a.metric < b.metric; });
    std::vector<std::string> gateways;
    for (const Route& route : routes)
        gateways.push_back(DottedQuad(route.gateway));
    return gateways;
}
