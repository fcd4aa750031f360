// Receive path figures, measured inside the network lab:
//   (a) hand-over throughput: datagrams a second through OnUDPRead on the UI thread;
//   (b) replies recorded of N simulated devices answering one probe, N = 100,
//       250, 1000, all at once and spread by up to 100 ms of jitter, with the
//       kernel's drop counter for the endpoint's socket, and once more for
//       1000 at once with the system's default receive queue;
//   (c) time from Active := false to the receiving thread's end over 50 re-binds.
// Run: tests/lab/lab.sh run -- build/release/bench/handover_bench
#include "LabEnv.h"
#include "cli/KernelDrops.h"
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

void RepliesOfDevices(int devices, int jitterMs, std::int32_t receiveBuffer) {
    DeviceSim sim(LabNsDevA(), {"--devices", std::to_string(devices), "--first-ip", "198.18.0.1",
                                "--jitter", std::to_string(jitterMs), "--reply-text",
                                "型号: IP话机 X3\n固件: 2.1.7\n状态: 在线"});
    TIdUDPServer server("UDPServerTask");
    server.ReceiveBufferSize = receiveBuffer;
    TIdSocketHandle& binding = server.Bindings.Add();
    binding.IP = LabFinderIpA();
    binding.Port = 60000;
    long recorded = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        ++recorded;
    };
    server.SetActive(true);
    server.SendBroadcast(PrepareProbe(), 6001);
    WaitRunningSyncCalls([] { return false; }, 4000ms);
    const auto drops = KernelDrops(binding.Handle());
    std::printf("(b) %4d devices, jitter %3d ms, receive queue %s: %4ld replies recorded, "
                "kernel drops %s\n",
                devices, jitterMs, receiveBuffer > 0 ? "4 MiB" : "system default", recorded,
                drops ? std::to_string(*drops).c_str() : "unknown");
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
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", 1000);
    HandOverThroughput();
    const std::int32_t enlarged = TIdUDPServer("Defaults").ReceiveBufferSize;
    for (int jitter : {0, 100})
        for (int devices : {100, 250, 1000})
            RepliesOfDevices(devices, jitter, enlarged);
    // The same burst with the system's default queue, for comparison.
    RepliesOfDevices(1000, 0, 0);
    DeactivationTimes();
    return 0;
}
