#include "platform/DhcpLease.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const char* const kDhclientLeases = R"(# dhclient lease file
lease {
  interface "eth0";
  fixed-address 192.168.1.50;
  option subnet-mask 255.255.255.0;
  option dhcp-server-identifier 192.168.1.1;
  option domain-name "odd { name; }";
  renew 2 2024/01/02 03:04:05;
}
lease {
  interface "wlan0";
  fixed-address 10.0.0.7;
  option dhcp-server-identifier 10.0.0.1;
}
lease6 {
  interface "eth0";
  ia-na 1a:2b:3c:4d {
    iaaddr 2001:db8::5 { max-life 100; }
  }
  option dhcp6.server-id 0:1:0:1;
}
lease {
  interface "eth0";
  fixed-address 192.168.1.51;
  option dhcp-server-identifier 192.168.1.2;
}
)";

// A directory tree removed when the test ends.
class TempTree {
public:
    TempTree() : root_(fs::temp_directory_path() / ("df-leases-" + std::to_string(getpid()))) {
        fs::create_directories(root_);
    }
    ~TempTree() { fs::remove_all(root_); }
    const fs::path& Root() const { return root_; }
    void Write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << text;
    }

private:
    fs::path root_;
};

} // namespace

TEST(DhclientLeases, TheLastLeaseOfTheInterfaceIsTheCurrentOne) {
    EXPECT_EQ(ParseDhclientLeases(kDhclientLeases, "eth0"),
              (DhcpLease{"192.168.1.51", "192.168.1.2"}));
    EXPECT_EQ(ParseDhclientLeases(kDhclientLeases, "wlan0"), (DhcpLease{"10.0.0.7", "10.0.0.1"}));
    EXPECT_EQ(ParseDhclientLeases(kDhclientLeases, "eth1"), std::nullopt);
}

TEST(DhclientLeases, IncompleteOrCutFilesGiveNoWrongLease) {
    EXPECT_EQ(ParseDhclientLeases("lease { interface \"eth0\"; }", "eth0"), std::nullopt);
    EXPECT_EQ(ParseDhclientLeases("lease { interface \"eth0\"; fixed-address 1.2.3.4;", "eth0"),
              (DhcpLease{"1.2.3.4", ""}));
    EXPECT_EQ(ParseDhclientLeases("lease { interface \"eth0", "eth0"), std::nullopt);
    EXPECT_EQ(ParseDhclientLeases("", "eth0"), std::nullopt);
}

TEST(KeyValueLease, ReadsAddressAndServer) {
    EXPECT_EQ(ParseKeyValueLease("# This is private data. Do not parse.\nADDRESS=192.0.2.9\n"
                                 "NETMASK=255.255.255.0\nSERVER_ADDRESS=192.0.2.1\n"),
              (DhcpLease{"192.0.2.9", "192.0.2.1"}));
    EXPECT_EQ(ParseKeyValueLease("ADDRESS=192.0.2.9\n"), (DhcpLease{"192.0.2.9", ""}));
    EXPECT_EQ(ParseKeyValueLease("SERVER_ADDRESS=192.0.2.1\n"), std::nullopt);
}

TEST(FindLeases, LooksInEveryClientsPlaceForTheInterface) {
    TempTree tree;
    tree.Write("dhcp/dhclient.eth0.leases", kDhclientLeases);
    tree.Write("dhcp/unrelated.leases", kDhclientLeases);
    tree.Write("networkd/3", "ADDRESS=192.0.2.9\nSERVER_ADDRESS=192.0.2.1\n");
    tree.Write("networkd/4", "ADDRESS=192.0.2.10\n");
    tree.Write("nm/internal-0123-eth0.lease", "ADDRESS=198.51.100.7\n");
    tree.Write("nm/dhclient-0123-eth0.lease",
               "lease { interface \"eth0\"; fixed-address 203.0.113.5; "
               "option dhcp-server-identifier 203.0.113.1; }");
    tree.Write("nm/internal-0123-eth1.lease", "ADDRESS=198.51.100.8\n");
    const LeaseLocations where{{tree.Root() / "dhcp", tree.Root() / "missing"},
                               tree.Root() / "networkd",
                               tree.Root() / "nm"};

    EXPECT_EQ(FindLeases(where, "eth0", 3), (std::vector<DhcpLease>{{"192.168.1.51", "192.168.1.2"},
                                                                    {"192.0.2.9", "192.0.2.1"},
                                                                    {"203.0.113.5", "203.0.113.1"},
                                                                    {"198.51.100.7", ""}}));
    EXPECT_TRUE(FindLeases(where, "eth9", 9).empty());
    EXPECT_TRUE(FindLeases({{}, tree.Root() / "none", tree.Root() / "none"}, "eth0", 3).empty());
}
