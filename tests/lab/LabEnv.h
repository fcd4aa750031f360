#pragma once

// Support for tests that run inside the network lab of lab.sh. A lab test
// binary starts with `if (!InLab()) GTEST_SKIP();` and then may broadcast
// freely: everything it sends stays in the lab's namespaces.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// True when lab.sh started this process (LAB_ID is set) and it runs in one of
// that lab's network namespaces, so nothing it sends can leave the lab.
bool InLab();

// The lab's description, from the environment lab.sh gives its command. An
// unset variable reads as "" (in a bare lab the device ones are unset).
std::string LabId();
std::string LabDir(); // scratch directory, removed at teardown
std::string LabNsFinder();
std::string LabNsDevA();
std::string LabNsDevB();
std::string LabFinderIpA(); // 198.51.100.1, adapter eth-a
std::string LabFinderIpB(); // 203.0.113.1, adapter eth-b
std::string LabDevIpA();    // 198.51.100.2
std::string LabDevIpB();    // 203.0.113.2
std::string LabGatewayA();  // 198.51.100.254, also an address of device namespace A
std::string LabScript();    // lab.sh itself

// A shell command for the finder namespace: interfaces d0 and d1 that are up
// and have no address (a veth pair, as the lab's kernel may lack the dummy
// kind). Such an interface is no adapter: bound, it would listen on 0.0.0.0.
inline constexpr const char* kUpWithoutAddress =
    "ip link add d0 type veth peer name d1 && ip link set d0 up && ip link set d1 up";

// Runs a shell command and returns its standard output.
std::string CommandOutput(const std::string& command);

// `lab.sh add-addresses`: COUNT consecutive addresses from FIRST_IP on INTERFACE
// of a lab namespace. Throws std::runtime_error when the script fails.
void LabAddAddresses(const std::string& ns, const std::string& interface,
                     const std::string& firstIp, unsigned count);

// One line of the simulator's log: a datagram it received.
struct SimLogLine {
    std::string ip;
    std::uint16_t port = 0;
    std::string bytes;
};

// Parses "IP:PORT LENGTH HEX". Throws std::runtime_error on a malformed line.
SimLogLine ParseSimLogLine(std::string_view line);

// A device-sim process in a lab namespace (`ip netns exec NS $DEVICE_SIM ARGS`).
// The constructor returns once the simulator listens; the destructor stops it.
// It adds --log and --ready-file in LAB_DIR unless ARGS give them.
class DeviceSim {
public:
    DeviceSim(std::string ns, std::vector<std::string> args,
              std::chrono::milliseconds readyTimeout = std::chrono::seconds(10));
    ~DeviceSim();
    DeviceSim(const DeviceSim&) = delete;
    DeviceSim& operator=(const DeviceSim&) = delete;

    // Every datagram received so far.
    std::vector<SimLogLine> LogLines() const;
    // Waits until at least `count` lines are logged or the time is up, and
    // returns what is there then.
    std::vector<SimLogLine> WaitForLogLines(std::size_t count,
                                            std::chrono::milliseconds timeout) const;

    // SIGTERM, then waits. Returns the exit code (128 + signal if killed by
    // one). Later calls return the same code.
    int Stop();

    pid_t Pid() const { return pid_; }
    const std::string& LogPath() const { return logPath_; }

private:
    void WaitUntilReady(std::chrono::milliseconds timeout);

    std::string ns_;
    std::string logPath_;
    std::string readyPath_;
    pid_t pid_ = -1;
    int exitCode_ = -1;
};
