// Runs device-finder-cli inside the network lab (tests/lab/lab.sh): the finder
// namespace has adapter eth-a on 198.51.100.0/24 and eth-b on 203.0.113.0/24,
// with simulated devices behind each.
#include "LabEnv.h"
#include "cli/ReplyFormat.h"
#include "discovery/VendorRegistry.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <netinet/in.h>
#include <regex>
#include <set>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs the built program with `args` (plain words); its standard error goes to
// the open descriptor `stderrFd` when one is given, else to a file.
CliRun RunCli(const std::vector<std::string>& args, int stderrFd = -1) {
    static int runs = 0;
    const std::string base = LabDir() + "/cli-" + std::to_string(++runs);
    std::string command = DF_CLI;
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " </dev/null >" + base + ".out 2>" +
               (stderrFd >= 0 ? "&" + std::to_string(stderrFd) : base + ".err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(base + ".out"),
            ReadFile(base + ".err")};
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string Shell(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        output += buffer;
    return output;
}

std::string MaskOfPrefix(int prefix) {
    in_addr mask{};
    mask.s_addr = htonl(prefix == 0 ? 0 : ~0u << (32 - prefix));
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &mask, text, sizeof text);
}

// What the adapters command should print for this namespace, from `ip`: the
// interfaces that are administratively up and have an IPv4 address.
std::string AdaptersAsIpShowsThem() {
    std::string expected;
    std::istringstream lines(Shell("ip -br addr show up"));
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string name, state, address, gateway = "none";
        fields >> name >> state;
        name = name.substr(0, name.find('@'));
        if (name == "lo")
            continue;
        std::string addresses, primary;
        while (fields >> address)
            if (const auto slash = address.find('/'); address.find('.') != std::string::npos) {
                addresses += "   address  " + address.substr(0, slash) + " / " +
                             MaskOfPrefix(std::stoi(address.substr(slash + 1))) + "\n";
                primary = primary.empty() ? address : primary;
            }
        if (addresses.empty())
            continue;
        expected += std::to_string(++number) + ". " + name + " " + primary + "\n" + addresses;
        std::istringstream route(Shell("ip -4 route show default dev " + name));
        for (std::string word; route >> word;)
            if (word == "via")
                route >> gateway;
        std::string mac = ReadFile("/sys/class/net/" + name + "/address");
        mac = mac.substr(0, mac.find('\n'));
        for (char& c : mac)
            c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        expected += "   gateway  " + gateway + "\n   MAC      " + mac + "\n   DHCP     no\n";
    }
    return expected;
}

const std::string kProbe = "~who has voip device?~";
const std::string kIndent(17, ' ');

// The hardware address of a device namespace's eth0, as the program writes it.
std::string DeviceMac(const std::string& ns) {
    std::string mac = Shell("ip netns exec " + ns + " cat /sys/class/net/eth0/address");
    mac = mac.substr(0, mac.find('\n'));
    for (char& c : mac)
        c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return mac;
}

// The addresses the finder's neighbour table holds with a hardware address.
std::set<std::string> NeighboursKnown() {
    std::set<std::string> known;
    std::istringstream lines(Shell("ip -4 neigh show"));
    for (std::string line; std::getline(lines, line);)
        if (line.find(" lladdr ") != std::string::npos)
            known.insert(line.substr(0, line.find(' ')));
    return known;
}

// The text format's lines for a device whose MAC is known and that has no maker.
std::string WithMacLine(const std::string& text, const std::string& mac) {
    const std::size_t end = text.find('\n');
    const std::string address = text.substr(0, std::min(text.find(' '), end));
    std::string out = address + std::string(17 - address.size(), ' ') + mac + "\n";
    return end > address.size() ? out + kIndent + text.substr(17) : out;
}

// Milliseconds from `since` until a line of the file `path`, from line `from`
// on, holds every one of `parts`; -1 when none does within 10 s. Polls every
// 10 ms.
long long MsUntilLine(const std::string& path, std::size_t from,
                      const std::vector<std::string>& parts,
                      std::chrono::steady_clock::time_point since) {
    while (std::chrono::steady_clock::now() < since + 10s) {
        std::istringstream in(ReadFile(path));
        std::size_t index = 0;
        for (std::string line; std::getline(in, line); ++index)
            if (index >= from && std::all_of(parts.begin(), parts.end(), [&](const auto& part) {
                    return line.find(part) != std::string::npos;
                }))
                return std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - since)
                    .count();
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

class CliLab : public testing::Test {
protected:
    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
        // Forget every earlier resolution, so the first reply of a device
        // namespace comes after its address resolution of the finder again.
        for (const std::string& ns : {LabNsFinder(), LabNsDevA(), LabNsDevB()})
            if (!ns.empty())
                Shell("ip -n " + ns + " neigh flush all");
    }

    // A simulated device on segment A answering with `reply`, byte for byte.
    std::unique_ptr<DeviceSim> DeviceOnA(const std::string& reply) {
        const std::string path = LabDir() + "/reply-" + std::to_string(++replies_);
        WriteFile(path, reply);
        return std::make_unique<DeviceSim>(LabNsDevA(),
                                           std::vector<std::string>{"--reply-file", path});
    }

    std::string Search(const std::string& format) {
        const CliRun run = RunCli({"search", "--wait", "600", "--format", format});
        EXPECT_EQ(run.code, 0) << run.err;
        return run.out;
    }

private:
    int replies_ = 0;
};

using CliBareLab = CliLab;

} // namespace

TEST_F(CliLab, AdaptersListEveryUpAdapterAsIpShowsIt) {
    LabAddAddresses(LabNsFinder(), "eth-a", "198.51.100.77", 1);
    // A pair of switched-off interfaces, one with an address, and one that is
    // up without an address: none is listed.
    Shell("ip link add off0 type veth peer name off1 && ip addr add 192.0.2.9/24 dev off0");
    ASSERT_EQ(std::system(kUpWithoutAddress), 0);
    const CliRun run = RunCli({"adapters"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("198.51.100.77 / 255.255.255.0"), std::string::npos);
    EXPECT_EQ(run.out.find("off"), std::string::npos) << run.out;
    EXPECT_EQ(run.out, AdaptersAsIpShowsThem());
    // It is no adapter to search from either: nothing listens on 0.0.0.0.
    const CliRun search = RunCli({"search", "--adapter", "3", "--wait", "100"});
    EXPECT_EQ(search.code, 2);
    EXPECT_NE(search.err.find("choose 1 to 2, eth-a, eth-b or all"), std::string::npos)
        << search.err;
    const std::string all = AdaptersAsIpShowsThem();
    EXPECT_EQ(RunCli({"adapters", "--adapter", "eth-b"}).out, all.substr(all.find("2. eth-b")));
    Shell("ip link del off0 && ip link del d0");
}

TEST_F(CliLab, JsonListsExactlyTheDevicesOfTheChosenSegment) {
    LabAddAddresses(LabNsDevA(), "eth0", "198.51.100.10", 3);
    const std::string reply = Utf8ToGbk("型号: IP话机 X3\n固件: 2.1.7");
    DeviceSim segmentA(LabNsDevA(), {"--devices", "3", "--first-ip", "198.51.100.10",
                                     "--reply-text", "型号: IP话机 X3\\n固件: 2.1.7"});
    DeviceSim segmentB(LabNsDevB(), {"--reply-text", "B"});

    const CliRun first = RunCli({"search", "--format", "json", "--wait", "1000"});
    EXPECT_EQ(first.code, 0);
    EXPECT_EQ(first.err, "3 replies shown, 0 datagrams dropped by the kernel\n");
    // The devices share one veth and resolve the finder once: only that
    // device's address is in the finder's neighbour table, with the veth's MAC.
    const std::set<std::string> known = NeighboursKnown();
    std::vector<std::string> expected;
    for (const char* ip : {"198.51.100.10", "198.51.100.11", "198.51.100.12"})
        expected.push_back(
            std::string("{\"ip\":\"") + ip +
            "\",\"port\":6001,\"info\":\"型号: IP话机 X3\\n固件: 2.1.7\",\"hex\":\"" +
            HexBytes(reply) + "\",\"mac\":\"" + (known.count(ip) ? DeviceMac(LabNsDevA()) : "") +
            "\",\"vendor\":\"\"}");
    EXPECT_EQ(SortedLines(first.out), expected);
    EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '-'), 5) << "one MAC only";

    const CliRun second = RunCli({"search", "--adapter", "2", "--format", "json", "--wait", "600"});
    EXPECT_EQ(second.code, 0);
    EXPECT_EQ(second.out, "{\"ip\":\"203.0.113.2\",\"port\":6001,\"info\":\"B\",\"hex\":\"42\","
                          "\"mac\":\"" +
                              DeviceMac(LabNsDevB()) + "\",\"vendor\":\"\"}\n");

    // One probe each, from the chosen adapter's address and port 60000.
    const auto heardA = segmentA.LogLines();
    ASSERT_EQ(heardA.size(), 1u);
    EXPECT_EQ(heardA[0].ip, LabFinderIpA());
    EXPECT_EQ(heardA[0].port, 60000);
    EXPECT_EQ(heardA[0].bytes, kProbe);
    const auto heardB = segmentB.LogLines();
    ASSERT_EQ(heardB.size(), 1u);
    EXPECT_EQ(heardB[0].ip, LabFinderIpB());
    EXPECT_EQ(heardB[0].port, 60000);
}

TEST_F(CliLab, EveryAdapterAtOnceEachReplyLabelledWithMacAndMaker) {
    // A maker the registry knows for segment B's device.
    Shell("ip -n " + LabNsDevB() + " link set dev eth0 address 00:1a:2b:3c:4d:5e");
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "A"});
    DeviceSim segmentB(LabNsDevB(), {"--reply-text", "B"});
    const CliRun run = RunCli({"search", "--adapter", "all", "--format", "tsv", "--wait", "600"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "2 replies shown, 0 datagrams dropped by the kernel\n");
    const std::string vendor = TVendorRegistry().Vendor("00-1A-2B-3C-4D-5E");
    EXPECT_EQ(
        SortedLines(run.out),
        (std::vector<std::string>{"198.51.100.2\t6001\tA\t" + DeviceMac(LabNsDevA()) + "\t\t1",
                                  "203.0.113.2\t6001\tB\t00-1A-2B-3C-4D-5E\t" + vendor + "\t2"}));
    EXPECT_EQ(segmentA.LogLines().at(0).ip, LabFinderIpA());
    EXPECT_EQ(segmentB.LogLines().at(0).ip, LabFinderIpB());
    const CliRun text = RunCli({"search", "--adapter", "all", "--wait", "600"});
    EXPECT_NE(text.out.find("2   203.0.113.2      00-1A-2B-3C-4D-5E  " + vendor + "\n    " +
                            kIndent + "B\n"),
              std::string::npos)
        << text.out;
}

TEST_F(CliLab, RepeatedProbesAndFoldingTheRepeats) {
    auto device = DeviceOnA("A");
    for (const bool unique : {false, true}) {
        std::vector<std::string> args = {"search", "--probes", "3",        "--interval", "200",
                                         "--wait", "600",      "--format", "json"};
        if (unique)
            args.push_back("--unique");
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), unique ? 1 : 3);
        EXPECT_EQ(run.err, unique ? "1 reply shown, 2 repeats folded, 0 datagrams dropped by the "
                                    "kernel\n"
                                  : "3 replies shown, 0 datagrams dropped by the kernel\n");
    }
    EXPECT_EQ(device->LogLines().size(), 6u);
}

TEST_F(CliLab, EachFormatShowsMultiLineZeroByteEmptyAndFullSizeReplies) {
    std::string full, fullUtf8;
    for (int i = 0; i < 2048; ++i) {
        full += "\xC9\xE8\xB1\xB8"; // 设备 in GBK: 8192 bytes in all
        fullUtf8 += "设备";
    }
    const std::string multiLine = Utf8ToGbk("型号: IP话机 X3\r\n固件: 2.1.7\r\n状态: \"在线\"\t");
    const std::string zeroBytes("ID\0X7\0\xff", 7);
    struct Case {
        std::string reply, text, tsv, info;
    };
    const Case cases[] = {
        {multiLine,
         "198.51.100.2     型号: IP话机 X3\n" + kIndent + "固件: 2.1.7\n" + kIndent +
             "状态: \"在线\"\t\n",
         "型号: IP话机 X3\\r\\n固件: 2.1.7\\r\\n状态: \"在线\"\\t",
         "型号: IP话机 X3\\r\\n固件: 2.1.7\\r\\n状态: \\\"在线\\\"\\t"},
        {zeroBytes, "198.51.100.2     ID\\x00X7\\x00\xEF\xBF\xBD\n", "ID\\0X7\\0\xEF\xBF\xBD",
         "ID\\u0000X7\\u0000\xEF\xBF\xBD"},
        {"", "198.51.100.2\n", "", ""},
        {full, "198.51.100.2     " + fullUtf8 + "\n", fullUtf8, fullUtf8},
    };
    const std::string mac = DeviceMac(LabNsDevA());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.size());
        auto device = DeviceOnA(c.reply);
        EXPECT_EQ(Search("text"), WithMacLine(c.text, mac));
        EXPECT_EQ(Search("tsv"), "198.51.100.2\t6001\t" + c.tsv + "\t" + mac + "\t\n");
        EXPECT_EQ(Search("json"), "{\"ip\":\"198.51.100.2\",\"port\":6001,\"info\":\"" + c.info +
                                      "\",\"hex\":\"" + HexBytes(c.reply) + "\",\"mac\":\"" + mac +
                                      "\",\"vendor\":\"\"}\n");
    }
}

TEST_F(CliLab, TooLongRepliesAreNotShownRepliesBeyondTheWindowsThousandAre) {
    {
        auto device = DeviceOnA(std::string(8193, 'x'));
        const CliRun run = RunCli({"search", "--wait", "600"});
        EXPECT_EQ(run.code, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "0 replies shown, 1 reply longer than 8192 bytes not shown, "
                           "0 datagrams dropped by the kernel\n");
    }
    LabAddAddresses(LabNsDevA(), "eth0", "198.51.100.20", 2);
    // Spread over half a second, so a host with a small receive queue keeps up.
    DeviceSim devices(LabNsDevA(), {"--devices", "2", "--first-ip", "198.51.100.20", "--replies",
                                    "600", "--jitter", "500", "--reply-text", "r"});
    const CliRun run = RunCli({"search", "--format", "tsv", "--wait", "2000"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1200);
    EXPECT_EQ(run.err, "1200 replies shown, "
                       "0 datagrams dropped by the kernel\n");
}

TEST_F(CliLab, FailuresAndUsageErrorsSendNothing) {
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "A"});
    const CliRun noAdapter = RunCli({"search", "--adapter", "3"});
    EXPECT_EQ(noAdapter.code, 2);
    EXPECT_TRUE(noAdapter.err.starts_with("device-finder-cli: there is no adapter '3' on this "
                                          "host: choose 1 to 2, eth-a, eth-b or all\nusage:"));

    const int taken = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(60000);
    inet_pton(AF_INET, LabFinderIpA().c_str(), &address.sin_addr);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const CliRun portTaken = RunCli({"search"});
    ::close(taken);
    EXPECT_EQ(portTaken.code, 1);
    EXPECT_EQ(portTaken.err,
              "device-finder-cli: Could not bind socket. Address and port are already in use.\n" +
                  LabFinderIpA() + ":60000 is held by cli_lab_tests (pid " +
                  std::to_string(getpid()) + ")\n");

    const CliRun usage = RunCli({"search", "--wait", "4s"});
    EXPECT_EQ(usage.code, 2);
    EXPECT_TRUE(usage.err.starts_with("device-finder-cli: --wait needs a whole number"))
        << usage.err;
    EXPECT_NE(usage.err.find("\nusage: device-finder-cli adapters "), std::string::npos);
    for (const CliRun& run : {noAdapter, portTaken, usage})
        EXPECT_EQ(run.out, "");
    EXPECT_TRUE(segmentA.WaitForLogLines(1, 300ms).empty());
    EXPECT_TRUE(RunCli({"search", "--help"}).out.starts_with("usage: "));
    EXPECT_EQ(RunCli({"--version"}).code, 0);
}

TEST_F(CliLab, EveryAdapterSearchesWhatBindsAndNamesTheOneThatDoesNot) {
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "A"});
    const int taken = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(60000);
    inet_pton(AF_INET, LabFinderIpB().c_str(), &address.sin_addr);
    ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const CliRun run = RunCli({"search", "--adapter", "all", "--format", "tsv", "--wait", "600"});
    ::close(taken);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "198.51.100.2\t6001\tA\t" + DeviceMac(LabNsDevA()) + "\t\t1\n");
    EXPECT_EQ(run.err, "device-finder-cli: adapter 2 (eth-b, " + LabFinderIpB() +
                           "): Could not bind socket. Address and port are already in use.\n" +
                           LabFinderIpB() + ":60000 is held by cli_lab_tests (pid " +
                           std::to_string(getpid()) +
                           ")\n"
                           "device-finder-cli: 1 reply shown, 0 datagrams dropped by the "
                           "kernel, 1 adapter not searched\n");
}

TEST_F(CliLab, CountdownOnlyWhenStandardErrorIsATerminal) {
    auto device = DeviceOnA("A");
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);

    const CliRun run = RunCli({"search", "--wait", "1500"}, terminal);
    close(terminal);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<std::size_t>(n));
    close(master);

    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, "198.51.100.2     " + DeviceMac(LabNsDevA()) + "\n" + kIndent + "A\n");
    const std::string line = "\r\x1b[Ksearching from 198.51.100.1 port 60000, ";
    EXPECT_NE(shown.find(line + "2 s left"), std::string::npos) << shown;
    EXPECT_NE(shown.find(line + "1 s left"), std::string::npos) << shown;
    // The countdown is erased before the summary takes the line.
    const std::string end = "\r\x1b[K1 reply shown, 0 datagrams dropped by the kernel\r\n";
    EXPECT_TRUE(shown.ends_with(end)) << shown;
}

TEST_F(CliLab, WatchPrintsUpDownAgainChangedAndStopsOnSigint) {
    LabAddAddresses(LabNsDevA(), "eth0", "198.51.100.30", 3);
    DeviceSim pair(LabNsDevA(),
                   {"--devices", "2", "--first-ip", "198.51.100.30", "--reply-text", "A"});
    auto third = std::make_unique<DeviceSim>(
        LabNsDevA(), std::vector<std::string>{"--first-ip", "198.51.100.32", "--reply-text", "C"});
    const std::string out = LabDir() + "/watch.out", err = LabDir() + "/watch.err";
    const auto start = std::chrono::steady_clock::now();
    const pid_t watch = fork();
    if (watch == 0) {
        freopen(out.c_str(), "w", stdout);
        freopen(err.c_str(), "w", stderr);
        execl(DF_CLI, DF_CLI, "watch", "--interval", "500", "--misses", "2", "--format", "json",
              nullptr);
        _exit(127);
    }
    long long upMs = 0;
    for (const char* ip : {"\"198.51.100.30\"", "\"198.51.100.31\"", "\"198.51.100.32\""}) {
        const long long ms = MsUntilLine(out, 0, {"{\"event\":\"up\",\"time\":\"20", ip}, start);
        EXPECT_GE(ms, 0) << ip;
        upMs = std::max(upMs, ms);
    }
    EXPECT_LT(upMs, 3000);
    // Each step: a change on the segment, and the event it must bring.
    const std::string device = "\"ip\":\"198.51.100.31\"";
    const std::string ns = "ip -n " + LabNsDevA() + " addr ";
    const std::pair<std::function<void()>, std::vector<std::string>> steps[] = {
        {[&] { Shell(ns + "del 198.51.100.31/24 dev eth0"); }, {"\"down\"", device}},
        {[&] { Shell(ns + "add 198.51.100.31/24 dev eth0"); }, {"\"up\"", device}},
        {[&] {
             third = std::make_unique<DeviceSim>(
                 LabNsDevA(),
                 std::vector<std::string>{"--first-ip", "198.51.100.32", "--reply-text", "C2"});
         },
         {"\"changed\"", "198.51.100.32", "\"info\":\"C2\""}},
    };
    std::string delays = "three up " + std::to_string(upMs) + " ms";
    for (const auto& [change, event] : steps) {
        const std::size_t from = SplitLines(ReadFile(out)).size();
        const auto since = std::chrono::steady_clock::now();
        change();
        const long long ms = MsUntilLine(out, from, event, since);
        EXPECT_GE(ms, 0) << event[0];
        delays += ", " + event[0] + " " + std::to_string(ms) + " ms";
    }
    kill(watch, SIGINT);
    int status = -1;
    waitpid(watch, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(err), "3 devices up, 6 events, 0 datagrams dropped by the kernel\n");
    std::cout << "watch delays: " << delays << "\n";
}

TEST_F(CliLab, WatchMetricsServedByTheNodeExporterAndNeverSeenHalfWritten) {
    LabAddAddresses(LabNsDevA(), "eth0", "198.51.100.40", 3);
    DeviceSim devices(LabNsDevA(), {"--devices", "3", "--first-ip", "198.51.100.40"});
    // The service's route: its own folder, linked from the exporter's.
    const std::string file = LabDir() + "/device-finder.prom", textfiles = LabDir() + "/textfile";
    Shell("mkdir " + textfiles + " && ln -s " + file + " " + textfiles + "/df.prom");
    const pid_t watch = fork();
    if (watch == 0) {
        freopen("/dev/null", "w", stdout);
        execl(DF_CLI, DF_CLI, "watch", "--adapter", "eth-a", "--interval", "500", "--misses", "2",
              "--metrics-file", file.c_str(), nullptr);
        _exit(127);
    }
    const pid_t exporter = fork();
    if (exporter == 0) {
        freopen("/dev/null", "w", stderr);
        execlp("prometheus-node-exporter", "prometheus-node-exporter",
               "--web.listen-address=127.0.0.1:19100", "--collector.disable-defaults",
               "--collector.textfile", ("--collector.textfile.directory=" + textfiles).c_str(),
               nullptr);
        _exit(127);
    }
    // Every read, once the file is there, parses to the end: comments and samples.
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, torn{0};
    std::thread reader([&] {
        const std::regex line(R"(# .*|device_finder_\w+\{.*\} [0-9.]+)");
        for (; !done; std::this_thread::sleep_for(1ms))
            if (const std::string text = ReadFile(file); !text.empty()) {
                bool whole = text.ends_with('\n') &&
                             text.find("# TYPE device_finder_kernel_drops_total") != text.npos;
                for (const std::string& each : SplitLines(text))
                    whole = whole && std::regex_match(each, line);
                ++reads;
                torn += whole ? 0 : 1;
            }
    });
    // The exporter's device_up sample for `ip` and the probes counted, once it reads `value`.
    const auto served = [&](const std::string& ip, const std::string& value) {
        const std::regex up("\ndevice_finder_device_up\\{adapter=\"eth-a\",ip=\"" + ip +
                            "\",mac=\"([-0-9A-F]*)\",vendor=\"\"\\} " + value +
                            "\n[^]*\ndevice_finder_probes_total\\{adapter=\"eth-a\"\\} (\\d+)\n");
        std::smatch match;
        for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(50ms))
            if (const std::string text = Shell("curl -s http://127.0.0.1:19100/metrics");
                std::regex_search(text, match, up))
                return std::pair{match.str(1), std::stol(match.str(2))};
        return std::pair{std::string("none"), -1L};
    };
    // The device namespace resolves the finder once: one MAC known, the others unknown.
    int known = 0;
    for (const std::string ip : {"198.51.100.40", "198.51.100.41", "198.51.100.42"}) {
        const std::string mac = served(ip, "1").first;
        EXPECT_TRUE(mac.empty() || mac == DeviceMac(LabNsDevA())) << ip << " " << mac;
        known += mac.empty() ? 0 : 1;
    }
    EXPECT_GE(known, 1);
    EXPECT_EQ(Shell("promtool check metrics < " + file + " 2>&1; echo $?"), "0\n");
    const long before = served("198.51.100.41", "1").second;
    Shell("ip -n " + LabNsDevA() + " addr del 198.51.100.41/24 dev eth0");
    const long after = served("198.51.100.41", "0").second;
    // Two rounds missed, after the one whose probe it may have answered.
    EXPECT_GE(after, 0);
    EXPECT_LE(after - before, 3) << before << " .. " << after;
    kill(watch, SIGINT);
    kill(exporter, SIGTERM);
    waitpid(watch, nullptr, 0);
    waitpid(exporter, nullptr, 0);
    done = true;
    reader.join();
    EXPECT_GT(reads, 100);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

TEST_F(CliBareLab, WithoutAnAdapterBothCommandsFail) {
    for (const char* command : {"adapters", "search"}) {
        const CliRun run = RunCli({command});
        EXPECT_EQ(run.code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("device-finder-cli: System Error.  Code: 232.\n", 0), 0u)
            << run.err;
    }
}

// Last of the CliLab tests: the finder's adapters lose their addresses.
TEST_F(CliLab, EveryAdapterFailsWhenNoneHasAnAddress) {
    Shell("ip addr flush dev eth-a && ip addr flush dev eth-b");
    const CliRun run = RunCli({"search", "--adapter", "all"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("device-finder-cli: System Error.  Code: 232.\n", 0), 0u) << run.err;
}
