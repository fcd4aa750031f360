#include "Simulator.h"

#include "SimCore.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <iostream>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Above this many queued replies further probes are logged but not answered.
constexpr std::size_t kMaxPending = 2 * kMaxRepliesPerProbe;
// Datagrams taken per wake-up, so a flood cannot hold back due replies.
constexpr int kReceiveBurst = 64;
// Replies handed to the system in one call.
constexpr std::size_t kSendBurst = 256;

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

std::set<std::uint32_t> LocalAddresses() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        throw SystemError("cannot list this namespace's addresses");
    }
    std::set<std::uint32_t> addresses;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            addresses.insert(ntohl(in->sin_addr.s_addr));
        }
    }
    freeifaddrs(list);
    return addresses;
}

// Sending from an address the namespace lacks fails only at the first probe,
// far from the cause; checking here names the missing address at start.
void CheckDeviceAddresses(const SimOptions& options) {
    if (!options.firstIp) {
        return;
    }
    const auto local = LocalAddresses();
    for (std::uint32_t i = 0; i < options.devices; ++i) {
        if (local.count(*options.firstIp + i) == 0) {
            throw std::runtime_error("device address " + FormatIpv4(*options.firstIp + i) +
                                     " is not an address of this namespace (lab.sh add-addresses)");
        }
    }
}

int OpenSocket() {
    Fd guard(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int fd = guard.Get();
    if (fd < 0) {
        throw SystemError("socket");
    }
    const int on = 1;
    // Several simulators in one namespace each get every broadcast probe.
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        throw SystemError("setsockopt");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(6001);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw SystemError("bind to port 6001");
    }
    return guard.Release();
}

void WriteReadyFile(const std::string& path) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << getpid() << '\n';
        if (!out.flush()) {
            throw std::runtime_error("cannot write ready file '" + temporary + "'");
        }
    }
    // The rename makes the file appear whole: a waiting test never reads it half written.
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        throw SystemError("cannot create ready file '" + path + "'");
    }
}

std::FILE* OpenLog(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw SystemError("cannot open log '" + path + "'");
    }
    return file;
}

sigset_t NoSignalsBlocked() {
    sigset_t none;
    sigemptyset(&none);
    return none;
}

int CloseLog(std::FILE* file) {
    return file != nullptr ? std::fclose(file) : 0;
}

} // namespace

Fd::~Fd() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

Simulator::Simulator(const SimOptions& options)
    : options_(options), socket_(OpenSocket()), log_(OpenLog(options.logPath), CloseLog),
      random_(std::random_device{}()), buffer_(65536) {
    CheckDeviceAddresses(options);
    if (!options.readyPath.empty()) {
        WriteReadyFile(options.readyPath);
    }
}

void Simulator::Run(const volatile std::sig_atomic_t& stop) {
    const sigset_t open = NoSignalsBlocked();
    while (stop == 0) {
        pollfd wait{socket_.Get(), POLLIN, 0};
        const auto left = WaitTime();
        timespec limit{};
        if (left) {
            limit.tv_sec = static_cast<time_t>(left->count() / 1'000'000'000);
            limit.tv_nsec = static_cast<long>(left->count() % 1'000'000'000);
        }
        const int ready = ppoll(&wait, 1, left ? &limit : nullptr, &open);
        if (ready < 0 && errno != EINTR) {
            throw SystemError("ppoll");
        }
        if (ready > 0) {
            ReceiveAll();
        }
        SendDue(stop);
    }
}

std::optional<std::chrono::nanoseconds> Simulator::WaitTime() const {
    if (pending_.empty()) {
        return std::nullopt;
    }
    return std::max(std::chrono::nanoseconds(0), pending_.top().due - Clock::now());
}

void Simulator::ReceiveAll() {
    for (int n = 0; n < kReceiveBurst; ++n) {
        sockaddr_in from{};
        iovec data{buffer_.data(), buffer_.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t length = recvmsg(socket_.Get(), &message, MSG_DONTWAIT);
        if (length < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                std::cerr << "device-sim: receive failed: " << std::strerror(errno) << '\n';
            }
            return;
        }
        std::uint32_t local = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                local = ntohl(info.ipi_spec_dst.s_addr);
            }
        }
        Received({buffer_.data(), static_cast<std::size_t>(length)}, ntohl(from.sin_addr.s_addr),
                 ntohs(from.sin_port), local);
    }
}

void Simulator::Received(std::string_view bytes, std::uint32_t from, std::uint16_t port,
                         std::uint32_t localAddress) {
    if (log_) {
        std::fprintf(log_.get(), "%s\n", FormatLogLine(FormatIpv4(from), port, bytes).c_str());
        std::fflush(log_.get());
    }
    if (!IsProbe(bytes)) {
        return;
    }
    const auto plan = PlanReplies(options_, random_);
    if (pending_.size() + plan.size() > kMaxPending) {
        std::cerr << "device-sim: too many replies queued, probe from " << FormatIpv4(from)
                  << " not answered\n";
        return;
    }
    const auto now = Clock::now();
    for (const auto& reply : plan) {
        const std::uint32_t source =
            options_.firstIp ? *options_.firstIp + reply.device : localAddress;
        pending_.push({now + reply.after, nextOrder_++, source, from, port});
    }
}

void Simulator::SendDue(const volatile std::sig_atomic_t& stop) {
    std::vector<Pending> due;
    const sigset_t open = NoSignalsBlocked();
    const timespec immediately{};
    while (stop == 0) {
        const auto now = Clock::now();
        due.clear();
        while (!pending_.empty() && pending_.top().due <= now && due.size() < kSendBurst) {
            due.push_back(pending_.top());
            pending_.pop();
        }
        if (due.empty()) {
            return;
        }
        SendBatch(due);
        // Replies can stay due for minutes on end when the host sends slower
        // than they were planned: a stop is let in between batches, not just
        // while waiting.
        ppoll(nullptr, 0, &immediately, &open);
    }
}

void Simulator::SendBatch(const std::vector<Pending>& replies) {
    struct Message {
        sockaddr_in to;
        iovec data;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    };
    std::vector<Message> parts(replies.size());
    std::vector<mmsghdr> messages(replies.size());
    for (std::size_t i = 0; i < replies.size(); ++i) {
        Message& part = parts[i];
        part.to = sockaddr_in{};
        part.to.sin_family = AF_INET;
        part.to.sin_port = htons(replies[i].port);
        part.to.sin_addr.s_addr = htonl(replies[i].target);
        part.data = {const_cast<char*>(options_.reply.data()), options_.reply.size()};
        std::memset(part.control, 0, sizeof part.control);
        msghdr& message = messages[i].msg_hdr;
        message = msghdr{};
        message.msg_name = &part.to;
        message.msg_namelen = sizeof part.to;
        message.msg_iov = &part.data;
        message.msg_iovlen = 1;
        message.msg_control = part.control;
        message.msg_controllen = sizeof part.control;
        // Each reply leaves from its own device's address.
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(replies[i].source);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
    std::size_t done = 0;
    while (done < messages.size()) {
        const int sent = sendmmsg(socket_.Get(), messages.data() + done,
                                  static_cast<unsigned>(messages.size() - done), 0);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            // This reply failed: say which, and go on with the rest.
            const Pending& reply = replies[done];
            std::cerr << "device-sim: reply from " << FormatIpv4(reply.source) << " to "
                      << FormatIpv4(reply.target) << ":" << reply.port
                      << " failed: " << std::strerror(errno) << '\n';
            ++done;
            continue;
        }
        done += static_cast<std::size_t>(sent);
    }
}
