#include "platform/RouteTable.h"

#include <gtest/gtest.h>

namespace {

// /proc/net/route as a little-endian kernel prints it.
const char* const kRoutes =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
    "eth0\t00000000\t010200C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
    "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
    "eth0\t00000000\tFE0200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
    "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
    "eth1\t0000000A\t0100000A\t0003\t0\t0\t0\t000000FF\t0\t0\t0\n"
    "eth1\t00000000\t0200000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
    "eth2\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"
    "eth0\tgarbage\n";

} // namespace

TEST(DefaultGateways, ListsTheInterfacesDefaultRoutesLowestMetricFirst) {
    EXPECT_EQ(DefaultGateways(kRoutes, "eth0"),
              (std::vector<std::string>{"192.0.2.254", "192.0.2.1"}));
    EXPECT_EQ(DefaultGateways(kRoutes, "wlan0"), std::vector<std::string>{"192.168.1.1"});
}

TEST(DefaultGateways, IgnoresRoutesThatAreNotUsableDefaultRoutes) {
    // eth1: a gateway route to 10/8 only, and a default route that is not up;
    // eth2: a default route without a gateway (an on-link default).
    EXPECT_TRUE(DefaultGateways(kRoutes, "eth1").empty());
    EXPECT_TRUE(DefaultGateways(kRoutes, "eth2").empty());
    EXPECT_TRUE(DefaultGateways(kRoutes, "eth").empty());
    EXPECT_TRUE(DefaultGateways("", "eth0").empty());
}
