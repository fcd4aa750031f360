// Resident memory and CPU time of a long watch, measured inside the network
// lab: 1000 simulated devices (198.18.0.1 …) answer every probe of
// `device-finder-cli watch --interval MS --format json --metrics-file F`, as
// the service runs it. Printed: the watch's resident set every sample, the
// growth from the first sample after all devices came up to the last, the
// CPU time it used, the events printed (1000 ups, then none while every
// device keeps answering), the metrics file's size and the watch's summary.
// Run: DEVICE_SIM=… tests/lab/lab.sh run -- build/release/bench/watch_memory_bench [SECONDS [MS]]
// (default 300 s, 500 ms).
#include "LabEnv.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kDevices = 1000;
constexpr int kSampleSeconds = 10;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long ResidentKb(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// User and system time the process used so far, in seconds.
double CpuSeconds(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 14; ++i)
        fields >> field;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

pid_t StartWatch(const std::string& out, const std::string& err, const std::string& interval,
                 const std::string& metrics) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execl(DF_CLI, DF_CLI, "watch", "--interval", interval.c_str(), "--format", "json",
              "--metrics-file", metrics.c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

long Lines(const std::string& text, const char* part) {
    long count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at)
        ++count;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    if (!InLab()) {
        std::puts("SKIP: runs only inside the network lab (tests/lab/lab.sh)");
        return 77;
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    const std::string interval = argc > 2 ? argv[2] : "500";
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", kDevices);
    // Spread over 100 ms, as a real segment's phones answer.
    DeviceSim devices(LabNsDevA(),
                      {"--devices", std::to_string(kDevices), "--first-ip", "198.18.0.1",
                       "--spread", "100", "--reply-text", "型号: IP话机 X3\\n固件: 2.1.7"});
    const std::string out = LabDir() + "/watch.out";
    const std::string err = LabDir() + "/watch.err";
    const std::string metrics = LabDir() + "/watch.prom";
    const pid_t watch = StartWatch(out, err, interval, metrics);
    std::printf("1000 devices, watch --interval %s (misses 3) --metrics-file, %d s, sample every "
                "%d s\n",
                interval.c_str(), seconds, kSampleSeconds);
    std::printf("%6s %10s %8s\n", "t (s)", "RSS (kB)", "events");
    long first = -1, last = -1, peak = 0;
    for (int t = kSampleSeconds; t <= seconds; t += kSampleSeconds) {
        std::this_thread::sleep_for(std::chrono::seconds(kSampleSeconds));
        last = ResidentKb(watch);
        first = first < 0 ? last : first;
        peak = std::max(peak, last);
        std::printf("%6d %10ld %8ld\n", t, last, Lines(ReadFile(out), "\n"));
        std::fflush(stdout);
    }
    const double cpu = CpuSeconds(watch);
    kill(watch, SIGINT);
    int status = 0;
    waitpid(watch, &status, 0);
    const std::string events = ReadFile(out);
    std::printf("RSS first sample %ld kB, last %ld kB, peak %ld kB, growth %ld kB\n", first, last,
                peak, last - first);
    std::printf("CPU %.2f s in %d s (%.3f %%); metrics file %zu bytes\n", cpu, seconds,
                100.0 * cpu / seconds, ReadFile(metrics).size());
    std::printf("events: %ld up, %ld changed, %ld down; exit status %d\nsummary: %s",
                Lines(events, "\"event\":\"up\""), Lines(events, "\"event\":\"changed\""),
                Lines(events, "\"event\":\"down\""), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                ReadFile(err).c_str());
    return 0;
}
