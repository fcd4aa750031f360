#include "ReferenceReceiver.h"

#include "cli/KernelDrops.h"
#include "discovery/Probe.h"
#include "net/IdSync.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kBatch = 1024;

// Owns the receiver's socket.
class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        if (fd_ < 0)
            throw std::runtime_error("reference receiver: no socket");
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

sockaddr_in Address(const std::string& ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    return a;
}

void Prepare(int fd, const std::string& ip, std::uint16_t port, std::int32_t receiveQueue) {
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveQueue, sizeof receiveQueue) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveQueue, sizeof receiveQueue);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in local = Address(ip, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        throw std::runtime_error("reference receiver: cannot bind " + ip);
}

} // namespace

ReferenceCount ReferenceReceive(const std::string& ip, std::uint16_t port,
                                std::int32_t receiveQueue, int expected,
                                std::chrono::milliseconds quiet) {
    Socket socket;
    Prepare(socket.Fd(), ip, port, receiveQueue);
    std::vector<char> memory(kBatch * 2048);
    std::vector<iovec> io(kBatch);
    std::vector<mmsghdr> messages(kBatch);
    for (unsigned i = 0; i < kBatch; ++i) {
        io[i] = {memory.data() + i * 2048, 2048};
        messages[i].msg_hdr.msg_iov = &io[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const auto probe = PrepareProbe();
    const sockaddr_in everyone = Address("255.255.255.255", 6001);
    ::sendto(socket.Fd(), probe.data(), probe.size(), 0,
             reinterpret_cast<const sockaddr*>(&everyone), sizeof everyone);
    ReferenceCount count;
    while (count.received < expected) {
        pollfd wait{socket.Fd(), POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(quiet.count())) <= 0)
            break;
        const int read = ::recvmmsg(socket.Fd(), messages.data(), kBatch, MSG_DONTWAIT, nullptr);
        if (read > 0)
            count.received += read;
    }
    count.kernelDrops = KernelDrops(socket.Fd());
    return count;
}

long WaitForReplies(const std::function<long()>& count, long expected,
                    std::chrono::milliseconds quiet) {
    long last = -1;
    while (count() < expected && count() != last) {
        last = count();
        WaitRunningSyncCalls([&] { return count() >= expected; }, quiet);
    }
    return count();
}
