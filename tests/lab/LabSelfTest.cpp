// The lab and the simulator together: a plain socket in the finder namespace
// plays the finder and broadcasts the real probe.

#include "LabEnv.h"
#include "SimCore.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

const std::string kProbeBytes(kProbe);

struct Datagram {
    std::string ip;
    std::uint16_t port = 0;
    std::string bytes;
};

sockaddr_in Address(const std::string& ip, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &address.sin_addr) != 1) {
        throw std::runtime_error("bad address " + ip);
    }
    return address;
}

// What the finder does on the wire: a UDP socket on an adapter's address,
// port 60000, allowed to broadcast.
class FinderSocket {
public:
    explicit FinderSocket(const std::string& ip) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
        const int on = 1;
        // Room for a thousand replies arriving at once.
        const int buffer = 8 << 20;
        const sockaddr_in address = Address(ip, 60000);
        if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0 ||
            bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error(std::string("finder socket: ") + std::strerror(errno));
        }
    }
    ~FinderSocket() { close(fd_); }
    FinderSocket(const FinderSocket&) = delete;
    FinderSocket& operator=(const FinderSocket&) = delete;

    void Send(std::string_view bytes, const std::string& ip = "255.255.255.255",
              std::uint16_t port = 6001) const {
        const sockaddr_in to = Address(ip, port);
        if (sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to) != static_cast<ssize_t>(bytes.size())) {
            throw std::runtime_error(std::string("sendto: ") + std::strerror(errno));
        }
    }

    std::optional<Datagram> Receive(milliseconds timeout) const {
        pollfd wait{fd_, POLLIN, 0};
        if (poll(&wait, 1, static_cast<int>(timeout.count())) != 1) {
            return std::nullopt;
        }
        std::string buffer(65536, '\0');
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) {
            throw std::runtime_error(std::string("recvfrom: ") + std::strerror(errno));
        }
        char ip[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
        buffer.resize(static_cast<std::size_t>(n));
        return Datagram{ip, ntohs(from.sin_port), buffer};
    }

    // Datagrams the kernel dropped because the receive queue was full.
    std::uint32_t Drops() const {
        std::uint32_t memory[SK_MEMINFO_VARS] = {};
        socklen_t length = sizeof memory;
        getsockopt(fd_, SOL_SOCKET, SO_MEMINFO, memory, &length);
        return memory[SK_MEMINFO_DROPS];
    }

    // Receives until `count` datagrams came or `timeout` passed without one.
    std::vector<Datagram> ReceiveUpTo(std::size_t count, milliseconds timeout) const {
        std::vector<Datagram> received;
        while (received.size() < count) {
            auto datagram = Receive(timeout);
            if (!datagram) {
                break;
            }
            received.push_back(std::move(*datagram));
        }
        return received;
    }

private:
    int fd_;
};

class Lab : public testing::Test {
protected:
    void SetUp() override {
        if (LabId().empty()) {
            GTEST_SKIP() << "needs the network lab: tests/lab/lab.sh run -- lab_selftest";
        }
        // Started by lab.sh but not in its namespace: fail, lest a broken
        // check turn every lab test into a silent skip.
        ASSERT_TRUE(InLab()) << "LAB_ID is set but this is not one of its namespaces";
    }
};

// Long enough for any reply already on its way across the lab to arrive.
constexpr auto kQuiet = 300ms;

TEST_F(Lab, ProbeReachesOnlyTheSegmentOfTheSendingAdapter) {
    EXPECT_EQ(CurrentLabNetns(), LabNsFinder());
    DeviceSim a(LabNsDevA(), {"--reply-text", "device A"});
    DeviceSim b(LabNsDevB(), {"--reply-text", "device B"});

    FinderSocket finderA(LabFinderIpA());
    finderA.Send(kProbeBytes);
    const auto reply = finderA.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ip, LabDevIpA());
    EXPECT_EQ(reply->port, 6001);
    EXPECT_EQ(reply->bytes, "device A");
    EXPECT_FALSE(finderA.Receive(kQuiet)) << "a second reply came";

    const auto seenByA = a.WaitForLogLines(1, 1s);
    ASSERT_EQ(seenByA.size(), 1u);
    EXPECT_EQ(seenByA[0].ip, LabFinderIpA());
    EXPECT_EQ(seenByA[0].port, 60000);
    EXPECT_EQ(seenByA[0].bytes, kProbeBytes);
    EXPECT_TRUE(b.LogLines().empty()) << "segment B heard segment A's broadcast";

    // And the other way round, from the second adapter.
    FinderSocket finderB(LabFinderIpB());
    finderB.Send(kProbeBytes);
    const auto replyB = finderB.Receive(2s);
    ASSERT_TRUE(replyB);
    EXPECT_EQ(replyB->ip, LabDevIpB());
    EXPECT_EQ(replyB->bytes, "device B");
    EXPECT_FALSE(finderA.Receive(kQuiet));
    EXPECT_EQ(a.LogLines().size(), 1u) << "segment A heard segment B's broadcast";

    EXPECT_EQ(a.Stop(), 0);
    EXPECT_EQ(b.Stop(), 0);
}

TEST_F(Lab, DatagramsOtherThanTheProbeAreLoggedButNotAnswered) {
    DeviceSim sim(LabNsDevA(), {});
    FinderSocket finder(LabFinderIpA());
    const std::vector<std::string> others = {kProbeBytes.substr(0, 21), kProbeBytes + "~",
                                             "~who has voip device!~", ""};
    for (const auto& bytes : others) {
        finder.Send(bytes);
    }
    const auto logged = sim.WaitForLogLines(others.size(), 2s);
    ASSERT_EQ(logged.size(), others.size());
    for (std::size_t i = 0; i < others.size(); ++i) {
        EXPECT_EQ(logged[i].bytes, others[i]) << i;
    }

    // The simulator works in arrival order, so any answer to the datagrams
    // above would come before the probe's.
    finder.Send(kProbeBytes);
    ASSERT_TRUE(finder.Receive(2s));
    EXPECT_FALSE(finder.Receive(kQuiet)) << "a datagram that is not the probe was answered";
}

TEST_F(Lab, RepliesOptionAnswersEachProbeThatOften) {
    DeviceSim sim(LabNsDevA(), {"--replies", "2"});
    FinderSocket finder(LabFinderIpA());
    finder.Send(kProbeBytes);
    EXPECT_EQ(finder.ReceiveUpTo(3, kQuiet).size(), 2u);
}

TEST_F(Lab, ThousandDevicesAnswerFromThousandAddresses) {
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", 1000);
    DeviceSim sim(LabNsDevA(), {"--devices", "1000", "--first-ip", "198.18.0.1"});
    FinderSocket finder(LabFinderIpA());
    finder.Send(kProbeBytes);
    const auto replies = finder.ReceiveUpTo(1001, kQuiet);
    ASSERT_EQ(replies.size(), 1000u);
    std::set<std::string> sources;
    for (const auto& reply : replies) {
        EXPECT_EQ(reply.port, 6001);
        EXPECT_EQ(reply.bytes, "device-sim");
        sources.insert(reply.ip);
    }
    EXPECT_EQ(sources.size(), 1000u);
    EXPECT_TRUE(sources.count("198.18.0.1"));
    EXPECT_TRUE(sources.count("198.18.3.232"));
    EXPECT_FALSE(sources.count("198.18.3.233"));
}

TEST_F(Lab, StopLeavesQueuedRepliesUnsent) {
    constexpr std::size_t kQueued = 1000 * 1000;
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.16.1", 1000);
    DeviceSim sim(LabNsDevA(),
                  {"--devices", "1000", "--first-ip", "198.18.16.1", "--replies", "1000"});
    FinderSocket finder(LabFinderIpA());
    finder.Send(kProbeBytes);
    ASSERT_TRUE(finder.Receive(2s));
    EXPECT_EQ(sim.Stop(), 0);
    const std::size_t sent = 1 + finder.ReceiveUpTo(kQueued, kQuiet).size() + finder.Drops();
    EXPECT_LT(sent, kQueued / 2);
}

TEST_F(Lab, DeviceAddressesMissingFromTheNamespaceStopTheSimulator) {
    EXPECT_THROW(DeviceSim(LabNsDevB(), {"--devices", "2", "--first-ip", "198.19.0.1"}),
                 std::runtime_error);
}

TEST_F(Lab, ReplyBytesArriveUnchanged) {
    FinderSocket finder(LabFinderIpA());
    {
        DeviceSim sim(LabNsDevA(), {"--reply-text", "设备\\n一号"});
        finder.Send(kProbeBytes);
        const auto reply = finder.Receive(2s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, "\xC9\xE8\xB1\xB8\n\xD2\xBB\xBA\xC5");
    }
    for (const std::string& bytes : {std::string("a\0b\xFF", 4), std::string()}) {
        const std::string path = LabDir() + "/reply.bin";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        DeviceSim sim(LabNsDevA(), {"--reply-file", path});
        finder.Send(kProbeBytes);
        const auto reply = finder.Receive(2s);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->bytes, bytes);
    }
}

TEST_F(Lab, UnicastProbeIsAnsweredFromTheAddressItWasSentTo) {
    DeviceSim sim(LabNsDevA(), {});
    FinderSocket finder(LabFinderIpA());
    finder.Send(kProbeBytes, LabGatewayA());
    const auto reply = finder.Receive(2s);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->ip, LabGatewayA());
}

TEST_F(Lab, DelayAndJitterHoldRepliesBack) {
    DeviceSim sim(LabNsDevA(), {"--delay", "300", "--jitter", "100", "--replies", "5"});
    FinderSocket finder(LabFinderIpA());
    const auto sent = std::chrono::steady_clock::now();
    finder.Send(kProbeBytes);
    EXPECT_EQ(finder.ReceiveUpTo(5, 1s).size(), 5u);
    const auto elapsed = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(elapsed, 300ms);
    EXPECT_LT(elapsed, 1s);
}

} // namespace
