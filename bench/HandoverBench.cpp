// Receive path figures, measured inside the network lab:
//   (a) hand-over throughput: datagrams a second through OnUDPRead on the UI thread;
//   (b) replies recorded of 1000 simulated devices answering one probe, sent
//       back to back and spread evenly over 0, 5 and 20 ms, with the socket's
//       receive queue at the usual system cap (212992 bytes, set on the
//       socket) and at the endpoint's own request: by the endpoint, by the
//       headless search (with its printing) and by the reference receiver,
//       each with the kernel's drop count where it shows;
//   (c) time from Active := false to the receiving thread's end over 50 re-binds.
// Run: tests/lab/lab.sh run -- build/release/bench/handover_bench
#include "LabEnv.h"
#include "ReferenceReceiver.h"
#include "adapters/LGetAdapterInfo.h"
#include "cli/CliOptions.h"
#include "cli/KernelDrops.h"
#include "cli/SearchCommand.h"
#include "discovery/Probe.h"
#include "net/IdSync.h"
#include "net/IdUDPListenerThread.h"
#include "net/IdUDPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void HandOverThroughput() {
    TIdUDPServer server("Bench");
    server.Bindings.Add().IP = "127.0.0.1";
    std::atomic<long> delivered = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        ++delivered;
    };
    server.SetActive(true);
    const std::uint16_t port = server.Bindings[0].Port;
    const long total = 50000;
    std::atomic<bool> sent = false;
    std::thread sender([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const char payload[64] = "reply";
        // Paced so the socket's queue never overflows: the figure is the
        // hand-over's, not the kernel's.
        for (long i = 0; i < total; ++i) {
            while (i - delivered.load() > 64)
                std::this_thread::yield();
            ::sendto(fd, payload, sizeof payload, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        ::close(fd);
        sent = true;
        NotifySyncWaiters();
    });
    const auto start = Clock::now();
    WaitRunningSyncCalls([&] { return delivered == total; }, 60s);
    const double seconds = Seconds(Clock::now() - start);
    sender.join();
    std::printf("(a) hand-over: %ld of %ld datagrams in %.3f s = %.0f datagrams/s\n",
                delivered.load(), total, seconds, static_cast<double>(delivered) / seconds);
}

constexpr int kDevices = 1000;
constexpr std::int32_t kStockCap = 212992;
constexpr auto kQuiet = 500ms;

std::vector<std::string> SimArgs(int devices, int spreadMs) {
    return {"--devices",    std::to_string(devices),
            "--first-ip",   "198.18.0.1",
            "--spread",     std::to_string(spreadMs),
            "--reply-text", "型号: IP话机 X3\n固件: 2.1.7\n状态: 在线"};
}

// Our endpoint as the window and the headless search use it.
long OurCount(std::int32_t receiveQueue, std::optional<std::uint64_t>& drops) {
    TIdUDPServer server("UDPServerTask");
    server.ReceiveBufferSize = receiveQueue;
    TIdSocketHandle& binding = server.Bindings.Add();
    binding.IP = LabFinderIpA();
    binding.Port = 60000;
    long recorded = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        ++recorded;
    };
    server.SetActive(true);
    server.SendBroadcast(PrepareProbe(), 6001);
    WaitForReplies([&] { return recorded; }, kDevices, kQuiet);
    drops = KernelDrops(binding.Handle());
    return recorded;
}

// The headless front end's search, with its printing, to a file.
int CliCount(std::int32_t receiveQueue, int adapter) {
    CliOptions options;
    options.command = CliCommand::Search;
    options.adapter = adapter;
    options.waitMs = 1000;
    std::FILE* sink = std::fopen("/dev/null", "w");
    const SearchSummary summary = RunSearch(options, sink, nullptr, receiveQueue);
    std::fclose(sink);
    return summary.shown;
}

int LabAdapterNumber() {
    const auto adapters = EnumerateAdapters();
    for (std::size_t i = 0; i < adapters.size(); ++i)
        if (adapters[i].ipAddress == LabFinderIpA())
            return static_cast<int>(i + 1);
    throw std::runtime_error("no adapter with " + LabFinderIpA());
}

std::string Drops(const std::optional<std::uint64_t>& drops) {
    return drops ? std::to_string(*drops) : "?";
}

// Replies recorded of 1000 devices answering one probe, for our endpoint,
// the headless search and the reference receiver, one burst each.
void RepliesOfOneProbe(std::int32_t receiveQueue, const char* queueName, int spreadMs,
                       int adapter) {
    DeviceSim sim(LabNsDevA(), SimArgs(kDevices, spreadMs));
    std::optional<std::uint64_t> ourDrops;
    const long ours = OurCount(receiveQueue, ourDrops);
    const int cli = CliCount(receiveQueue, adapter);
    const ReferenceCount reference =
        ReferenceReceive(LabFinderIpA(), 60000, receiveQueue, kDevices, kQuiet);
    std::printf("(b) queue %-14s spread %2d ms: endpoint %4ld (drops %s), search %4d, "
                "reference %4d (drops %s) of %d\n",
                queueName, spreadMs, ours, Drops(ourDrops).c_str(), cli, reference.received,
                Drops(reference.kernelDrops).c_str(), kDevices);
}

void DeactivationTimes() {
    TIdUDPServer server("UDPServerTask");
    TIdSocketHandle& binding = server.Bindings.Add();
    binding.IP = LabFinderIpA();
    binding.Port = 60000;
    std::vector<double> ms;
    for (int i = 0; i < 50; ++i) {
        server.SetActive(true);
        // Let the thread settle into its readability wait.
        std::this_thread::sleep_for(20ms);
        const auto start = Clock::now();
        server.SetActive(false);
        ms.push_back(Seconds(Clock::now() - start) * 1000);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("(c) Active := false to thread end over 50 re-binds: median %.3f ms, max %.3f ms\n",
                (ms[24] + ms[25]) / 2, ms.back());
}

} // namespace

int main() {
    if (!InLab()) {
        std::fprintf(stderr,
                     "handover_bench runs only inside the network lab: "
                     "tests/lab/lab.sh run -- %s\n",
                     "build/release/bench/handover_bench");
        return 77;
    }
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", kDevices);
    HandOverThroughput();
    const int adapter = LabAdapterNumber();
    // The lab is new: the devices' side has yet to resolve the finder's
    // address, and would hold back and then flush the first burst at once.
    {
        DeviceSim warmUp(LabNsDevA(), {"--reply-text", "warm-up"});
        ReferenceReceive(LabFinderIpA(), 60000, kStockCap, 1, kQuiet);
    }
    const std::int32_t ownRequest = TIdUDPServer("Defaults").ReceiveBufferSize;
    for (const auto& [queue, name] :
         {std::pair{kStockCap, "212992 B"}, std::pair{ownRequest, "default request"}})
        for (int spread : {0, 5, 20})
            RepliesOfOneProbe(queue, name, spread, adapter);
    DeactivationTimes();
    return 0;
}
