#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A plain UDP socket on 127.0.0.1 that plays the other side in unit tests.
class LoopbackPeer {
public:
    explicit LoopbackPeer(std::uint16_t port = 0) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in a = Address(port);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackPeer() { ::close(fd_); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }

    void SendTo(std::uint16_t port, const std::vector<std::uint8_t>& data) const {
        sockaddr_in a = Address(port);
        ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }

    // One datagram, or nothing within `timeoutMs`.
    std::optional<std::vector<std::uint8_t>> Receive(int timeoutMs = 2000) const {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return std::nullopt;
        std::vector<std::uint8_t> data(65536);
        const ssize_t n = ::recv(fd_, data.data(), data.size(), 0);
        data.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return data;
    }

private:
    static sockaddr_in Address(std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }

    int fd_;
    std::uint16_t port_ = 0;
};
