#pragma once

#include <string>
#include <string_view>
#include <vector>

// The gateways of the IPv4 default routes that leave through the interface
// `interfaceName`, as dotted quads, lowest metric (the route in use) first.
// `routeTable` is the text of /proc/net/route; lines that do not parse are
// skipped.
std::vector<std::string> DefaultGateways(std::string_view routeTable,
                                         std::string_view interfaceName);
