// Resident memory of the headless search with --unique under a flood of
// distinct replies: a sender in the finder namespace sends ever new 2 KiB
// replies to adapter eth-a's address, port 60000, 1000 a second, for the whole
// wait; the search's resident memory is printed every 5 seconds.
// Run: tests/lab/lab.sh run -- build/release/bench/unique_flood_bench [SECONDS]
#include "LabEnv.h"
#include "adapters/LGetAdapterInfo.h"
#include "cli/CliOptions.h"
#include "cli/SearchCommand.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kRepliesPerSecond = 1000;
constexpr std::size_t kReplySize = 2048;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return -1;
}

int AdapterNumberOf(const std::string& ip) {
    const auto adapters = EnumerateAdapters();
    for (std::size_t i = 0; i < adapters.size(); ++i)
        if (adapters[i].ipAddress == ip)
            return static_cast<int>(i + 1);
    throw std::runtime_error("no adapter with " + ip);
}

// Sends distinct replies, paced, until `stop`; returns how many.
long Flood(const std::atomic<bool>& stop) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(60000);
    inet_pton(AF_INET, LabFinderIpA().c_str(), &to.sin_addr);
    std::string reply(kReplySize, 'x');
    long sent = 0;
    const auto start = Clock::now();
    while (!stop) {
        const std::string number = std::to_string(sent);
        reply.replace(0, number.size(), number);
        ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ++sent;
        std::this_thread::sleep_until(start + sent * 1000000us / kRepliesPerSecond);
    }
    ::close(fd);
    return sent;
}

} // namespace

int main(int argc, char** argv) {
    if (!InLab()) {
        std::fprintf(stderr, "runs only inside the network lab (tests/lab/lab.sh)\n");
        return 77;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    CliOptions options;
    options.command = CliCommand::Search;
    options.adapter = AdapterNumberOf(LabFinderIpA());
    options.waitMs = seconds * 1000;
    options.unique = true;

    std::atomic<bool> stop = false;
    long sent = 0;
    std::thread sender([&] { sent = Flood(stop); });
    std::thread sampler([&] {
        for (int t = 0; t <= seconds && !stop; t += 5) {
            std::printf("t=%2d s  resident %ld KiB\n", t, ResidentKiB());
            std::fflush(stdout);
            for (int i = 0; i < 50 && !stop; ++i)
                std::this_thread::sleep_for(100ms);
        }
    });
    std::FILE* sink = std::fopen("/dev/null", "w");
    const SearchSummary summary = RunSearch(options, sink, nullptr);
    stop = true;
    sender.join();
    sampler.join();
    std::fclose(sink);
    std::printf("%ld distinct replies of %zu bytes sent in %d s; %s; resident at the end %ld "
                "KiB\n",
                sent, kReplySize, seconds, SummaryText(summary).c_str(), ResidentKiB());
    return 0;
}
