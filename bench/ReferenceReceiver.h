#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// The physical limit of this host: a plain receiver that reads datagrams in
// batches (recvmmsg) as fast as they come, with no hand-over to another
// thread. Benchmarks print its count beside ours for the same burst.

struct ReferenceCount {
    int received = 0;
    std::optional<std::uint64_t> kernelDrops;
};

// Binds `ip`:`port` with a receive queue of `receiveQueue` bytes (asked as
// the endpoint asks: past the system's cap where allowed), broadcasts the
// probe to port 6001 and counts replies until `expected` arrived or none
// came for `quiet`. Runs only inside the network lab.
ReferenceCount ReferenceReceive(const std::string& ip, std::uint16_t port,
                                std::int32_t receiveQueue, int expected,
                                std::chrono::milliseconds quiet);

// Runs the UI thread's pending calls until `count()` reaches `expected` or
// it stops growing for `quiet`; returns the last count.
long WaitForReplies(const std::function<long()>& count, long expected,
                    std::chrono::milliseconds quiet);
