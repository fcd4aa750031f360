#pragma once

#include "SimOptions.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <queue>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

// Owns a socket descriptor.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The simulated devices: one UDP socket on port 6001 that receives probes and
// sends every reply, each from its device's own source address.
class Simulator {
public:
    // Binds the socket, opens the log and writes the ready file. Throws
    // std::runtime_error when any of that fails or a device address is not
    // an address of this namespace.
    explicit Simulator(const SimOptions& options);

    // Serves until `stop` is set. The stop signals must be blocked by the
    // caller; they are let through only while waiting, so none is missed.
    void Run(const volatile std::sig_atomic_t& stop);

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::uint64_t order;
        std::uint32_t source; // host order
        std::uint32_t target; // host order
        std::uint16_t port;
    };
    struct Later {
        bool operator()(const Pending& a, const Pending& b) const {
            return a.due != b.due ? a.due > b.due : a.order > b.order;
        }
    };

    void ReceiveAll();
    void Received(std::string_view bytes, std::uint32_t from, std::uint16_t port,
                  std::uint32_t localAddress);
    // Sends every reply that is due, many to one system call, as a switch
    // delivers a burst: back to back. Returns early once `stop` is set.
    void SendDue(const volatile std::sig_atomic_t& stop);
    void SendBatch(const std::vector<Pending>& replies);
    // Until the next reply is due; nothing when none is pending.
    std::optional<std::chrono::nanoseconds> WaitTime() const;

    const SimOptions& options_;
    Fd socket_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log_;
    std::priority_queue<Pending, std::vector<Pending>, Later> pending_;
    std::uint64_t nextOrder_ = 0;
    std::mt19937_64 random_;
    std::vector<char> buffer_;
};
