// The neighbour table's text, CSV, the maker registry and the lookup that
// joins them, on files written by the test.
#include "discovery/Csv.h"
#include "discovery/HardwareLookup.h"
#include "discovery/VendorRegistry.h"
#include "platform/NeighbourTable.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const kArpHeading =
    "IP address       HW type     Flags       HW address            Mask     Device\n";

class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("df-hw-" + std::to_string(getpid()))) {
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return (path_ / name).string();
    }
    std::string Path() const { return path_.string(); }

private:
    fs::path path_;
};

void WriteRegistry(const TempDir& dir) {
    const std::string heading = "Registry,Assignment,Organization Name,Organization Address\n";
    dir.Write("oui.csv", heading + "MA-L,001A2B,\"Phones, Inc.\",\"1 Road\nTown\"\n"
                                   "MA-L,AABBCC,Wide Block,x\n");
    dir.Write("mam.csv", heading + "MA-M,AABBCC4,Medium Block,x\n");
    dir.Write("oui36.csv", heading + "MA-S,AABBCC4D5,Small Block,x\n");
    // iab.csv missing: adds nothing.
}

} // namespace

TEST(NeighbourTable, KeepsCompleteEntriesOnly) {
    const std::string text =
        std::string(kArpHeading) +
        "198.51.100.2     0x1         0x2         7e:0a:1b:2c:3d:4e     *  eth-a\n"
        "198.51.100.3     0x1         0x0         00:00:00:00:00:00     *  eth-a\n"
        "203.0.113.2      0x1         0x6         02:00:00:00:00:ff     *  eth-b\n"
        "garbage line\n"
        "198.51.100.9     0x1         zz          02:00:00:00:00:09     *  eth-a\n";
    const auto entries = ParseNeighbourTable(text);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].ip, "198.51.100.2");
    EXPECT_EQ(entries[0].mac, "7E-0A-1B-2C-3D-4E");
    EXPECT_EQ(entries[0].device, "eth-a");
    EXPECT_EQ(entries[1].mac, "02-00-00-00-00-FF");
    EXPECT_TRUE(ReadNeighbourTable("/nonexistent/arp").empty());
}

TEST(Csv, QuotesEveryFieldAndReadsBackWhatItWrote) {
    const CsvRecord record = {"a,b", "say \"hi\"", "line1\nline2\r\n", "", "设备"};
    EXPECT_EQ(CsvLine({"x", "a\"b"}), "\"x\",\"a\"\"b\"\r\n");
    EXPECT_EQ(ParseCsv(CsvLine(record) + CsvLine({"2"})), (std::vector<CsvRecord>{record, {"2"}}));
    struct Case {
        std::string text;
        std::vector<CsvRecord> records;
    };
    const Case cases[] = {
        {"a,b\nc", {{"a", "b"}, {"c"}}},
        {"a,,\r\n", {{"a", "", ""}}},
        {"\"open,\nquote", {{"open,\nquote"}}},
        {"\"x\"y,z\r\n\na,", {{"xy", "z"}, {""}, {"a", ""}}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseCsv(c.text), c.records) << c.text;
}

TEST(VendorRegistry, LongestPrefixWinsAndUnknownIsEmpty) {
    TempDir dir;
    WriteRegistry(dir);
    const TVendorRegistry registry(dir.Path());
    EXPECT_EQ(registry.Size(), 4u);
    const std::pair<const char*, const char*> cases[] = {
        {"00-1A-2B-3C-4D-5E", "Phones, Inc."},
        {"00:1a:2b:00:00:00", "Phones, Inc."},
        {"AA-BB-CC-4D-50-00", "Small Block"},
        {"AA-BB-CC-4E-00-00", "Medium Block"},
        {"AA-BB-CC-00-00-00", "Wide Block"},
        {"11-22-33-44-55-66", ""},
        {"00-1A-2B-3C-4D", ""},
        {"00-1A-2B-3C-4D-XY", ""},
        {"", ""},
    };
    for (const auto& [mac, vendor] : cases)
        EXPECT_EQ(registry.Vendor(mac), vendor) << mac;
    EXPECT_EQ(TVendorRegistry("/nonexistent").Size(), 0u);
}

TEST(HardwareLookup, ReadsTheTableAgainForANewAddressOnly) {
    TempDir dir;
    WriteRegistry(dir);
    const std::string arp = dir.Write(
        "arp", std::string(kArpHeading) + "198.51.100.2 0x1 0x2 00:1a:2b:3c:4d:5e * eth-a\n");
    THardwareLookup lookup(arp, dir.Path());
    EXPECT_EQ(lookup.Find("198.51.100.2").mac, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(lookup.Find("198.51.100.2").vendor, "Phones, Inc.");
    EXPECT_EQ(lookup.Find("198.51.100.3").mac, "");
    dir.Write("arp", std::string(kArpHeading) + "198.51.100.3 0x1 0x2 02:00:00:00:00:03 * eth-a\n");
    const TDeviceHardware later = lookup.Find("198.51.100.3");
    EXPECT_EQ(later.mac, "02-00-00-00-00-03");
    EXPECT_EQ(later.vendor, "");
    EXPECT_EQ(THardwareLookup(arp, "/nonexistent").Find("198.51.100.3").vendor, "");
}

// The registry is a pipe here, which takes the text only once a reader has it open.
TEST(HardwareLookup, ReadsTheRegistryOnAThreadOfItsOwnFromTheStart) {
    TempDir dir;
    const std::string arp = dir.Write(
        "arp", std::string(kArpHeading) + "198.51.100.2 0x1 0x2 00:1a:2b:3c:4d:5e * eth-a\n");
    const std::string oui = dir.Path() + "/oui.csv";
    ASSERT_EQ(mkfifo(oui.c_str(), 0600), 0);
    THardwareLookup lookup(arp, dir.Path());
    int pipe = -1;
    for (int i = 0; i < 1000 && pipe < 0; ++i, usleep(10000))
        pipe = open(oui.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(pipe, 0) << "nobody reads the registry";
    const std::string text =
        "Registry,Assignment,Organization Name\nMA-L,001A2B,\"Phones, Inc.\"\n";
    EXPECT_EQ(write(pipe, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(pipe);
    EXPECT_EQ(lookup.Find("198.51.100.2").vendor, "Phones, Inc.");
}

// A burst of replies from new devices is looked up with one read of the table.
TEST(HardwareLookup, FindAllReadsTheTableOncePerCall) {
    TempDir dir;
    const std::string arp = dir.Write(
        "arp", std::string(kArpHeading) + "198.51.100.2 0x1 0x2 00:1a:2b:3c:4d:5e * eth-a\n");
    THardwareLookup lookup(arp, dir.Path());
    const auto macs = [&lookup](const std::vector<std::string>& ips) {
        std::vector<std::string> found;
        for (const TDeviceHardware& hardware : lookup.FindAll(ips))
            found.push_back(hardware.mac);
        return found;
    };
    EXPECT_EQ(macs({"198.51.100.2", "198.51.100.9", "198.51.100.2"}),
              (std::vector<std::string>{"00-1A-2B-3C-4D-5E", "", "00-1A-2B-3C-4D-5E"}));
    dir.Write("arp", std::string(kArpHeading) + "198.51.100.9 0x1 0x2 02:00:00:00:00:09 * eth-a\n");
    EXPECT_EQ(macs({"198.51.100.2"}), std::vector<std::string>{"00-1A-2B-3C-4D-5E"}) << "the copy";
    EXPECT_EQ(macs({"198.51.100.9", "198.51.100.2"}),
              (std::vector<std::string>{"02-00-00-00-00-09", ""}))
        << "one new read for the whole call";
}
