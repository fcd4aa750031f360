#include "cli/AdapterReport.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

TEST(AdapterReport, EveryAddressDhcpAndTextsFitForATerminal) {
    TAdapterInfo adapter;
    adapter.description = Utf8ToGbk("本地连接\x1b[2J");
    adapter.ipAddress = "192.0.2.1";
    adapter.mask = "255.255.255.0\rA: 198.51.100.9 M: 255.255.0.0\r";
    adapter.dhcpEnabled = true;
    adapter.dhcpServer = "192.0.2.254";
    TAdapterInfo bare;
    bare.description = "tun0";
    bare.ipAddress = "0.0.0.0";
    bare.mask = "0.0.0.0\r";
    bare.dhcpEnabled = true;
    EXPECT_EQ(AdapterReport({adapter, bare}), "1. 本地连接\\x1b[2J\n"
                                              "   address  192.0.2.1 / 255.255.255.0\n"
                                              "   address  198.51.100.9 / 255.255.0.0\n"
                                              "   gateway  none\n"
                                              "   MAC      none\n"
                                              "   DHCP     yes, server 192.0.2.254\n"
                                              "2. tun0\n"
                                              "   address  0.0.0.0 / 0.0.0.0\n"
                                              "   gateway  none\n"
                                              "   MAC      none\n"
                                              "   DHCP     yes\n");
}
