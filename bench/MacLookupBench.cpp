// MAC and maker lookup figures, measured inside the network lab: 1000
// simulated devices (198.18.0.1 …) answer one probe while the finder's
// neighbour table holds an entry for each of them, as a segment of 1000
// devices that each resolved the finder would leave it. Printed:
//   (a) as the front ends do it, one lookup per reply as it arrives: the time
//       from the last reply's arrival to its lookup done, and the time spent
//       in lookups over the whole burst;
//   (b) all 1000 looked up after the last reply, with a fresh lookup object
//       (one table read, the registry loaded): last reply to the 1000th done;
//       and the MACs alone, without the registry;
//   (c) loading the maker registry alone.
// Nothing here sends but the probe; the table is filled with `ip neigh`.
// Run: tests/lab/lab.sh run -- build/release/bench/mac_lookup_bench
#include "LabEnv.h"
#include "discovery/HardwareLookup.h"
#include "discovery/Probe.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kDevices = 1000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string DeviceIp(int i) {
    return "198.18." + std::to_string((i + 1) / 256) + "." + std::to_string((i + 1) % 256);
}

// One entry per device on eth-a; the first three bytes are a registered block
// (00-1A-2B), so every lookup also finds a maker.
void FillNeighbourTable() {
    const std::string batch = LabDir() + "/neigh.batch";
    FILE* file = std::fopen(batch.c_str(), "w");
    for (int i = 0; i < kDevices; ++i)
        std::fprintf(file, "neigh replace %s lladdr 00:1a:2b:00:%02x:%02x dev eth-a nud stale\n",
                     DeviceIp(i).c_str(), i / 256, i % 256);
    std::fclose(file);
    if (std::system(("ip -batch " + batch).c_str()) != 0)
        std::fprintf(stderr, "could not fill the neighbour table\n");
}

int BoundSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const int queue = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &queue, sizeof queue);
    const timeval slice{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(60000);
    inet_pton(AF_INET, LabFinderIpA().c_str(), &local.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    return fd;
}

} // namespace

int main() {
    if (!InLab()) {
        std::puts("SKIP: runs only inside the network lab (tests/lab/lab.sh)");
        return 77;
    }
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", kDevices);
    FillNeighbourTable();
    DeviceSim devices(LabNsDevA(), {"--devices", std::to_string(kDevices), "--first-ip",
                                    "198.18.0.1", "--reply-text", "型号: IP话机 X3"});

    const int fd = BoundSocket();
    const auto probe = PrepareProbe();
    sockaddr_in all{};
    all.sin_family = AF_INET;
    all.sin_port = htons(6001);
    all.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    ::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&all), sizeof all);

    THardwareLookup perReply;
    std::vector<std::string> senders;
    Clock::duration inLookups{};
    Clock::time_point lastArrival, lastDone;
    int known = 0;
    char buffer[8192];
    while (static_cast<int>(senders.size()) < kDevices) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) <
            0)
            break;
        lastArrival = Clock::now();
        char ip[INET_ADDRSTRLEN];
        senders.emplace_back(inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip));
        known += !perReply.Find(senders.back()).vendor.empty();
        lastDone = Clock::now();
        inLookups += lastDone - lastArrival;
    }
    ::close(fd);
    std::printf("replies received: %zu, with MAC and maker found: %d\n", senders.size(), known);
    std::printf("(a) per reply: last reply to its lookup done %.3f ms; all lookups of the burst "
                "%.1f ms\n",
                Ms(lastDone - lastArrival), Ms(inLookups));

    const auto batchStart = Clock::now();
    THardwareLookup batch;
    int batchKnown = 0;
    for (const std::string& ip : senders)
        batchKnown += !batch.Find(ip).mac.empty();
    const auto batchDone = Clock::now();
    std::printf("(b) after the last reply: %d of %zu MACs and makers looked up in %.1f ms "
                "(last reply to done %.1f ms)\n",
                batchKnown, senders.size(), Ms(batchDone - batchStart),
                Ms(batchDone - lastArrival));

    const auto macsStart = Clock::now();
    THardwareLookup macsOnly(kNeighbourTablePath, "/nonexistent");
    for (const std::string& ip : senders)
        macsOnly.Find(ip);
    std::printf("    of which the 1000 MACs alone (one table read): %.1f ms\n",
                Ms(Clock::now() - macsStart));

    const auto registryStart = Clock::now();
    const TVendorRegistry registry;
    std::printf("(c) maker registry: %zu prefixes loaded in %.1f ms\n", registry.Size(),
                Ms(Clock::now() - registryStart));
    return 0;
}
