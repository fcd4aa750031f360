#include "platform/WinSock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace ws {
namespace {

// Windows Sockets keeps the last error per thread; so do we.
thread_local int lastError = 0;

int Fail(int wsaError) {
    lastError = wsaError;
    return WS_SOCKET_ERROR;
}

int FailWithErrno() {
    return Fail(ErrnoToWSAError(errno));
}

int ToLinuxFamily(int family) {
    if (family == WS_AF_INET)
        return AF_INET;
    if (family == WS_AF_INET6)
        return AF_INET6;
    return -1;
}

int FromLinuxFamily(int family) {
    if (family == AF_INET)
        return WS_AF_INET;
    if (family == AF_INET6)
        return WS_AF_INET6;
    return family;
}

// The Windows and Linux socket addresses share their layout; only the IPv6
// family number differs. Returns false for an address Linux cannot take.
bool ToLinuxAddress(const void* address, int length, sockaddr_storage& out, socklen_t& outLength) {
    if (address == nullptr || length < 2 || static_cast<size_t>(length) > sizeof out)
        return false;
    std::memset(&out, 0, sizeof out);
    std::memcpy(&out, address, static_cast<size_t>(length));
    std::uint16_t family;
    std::memcpy(&family, address, sizeof family);
    const int linuxFamily = ToLinuxFamily(family);
    if (linuxFamily < 0)
        return false;
    out.ss_family = static_cast<sa_family_t>(linuxFamily);
    outLength = static_cast<socklen_t>(length);
    return true;
}

// Copies a Linux address into the caller's buffer of *length bytes and
// stores the length used.
void FromLinuxAddress(const sockaddr_storage& in, socklen_t inLength, void* address, int* length) {
    if (address == nullptr || length == nullptr)
        return;
    sockaddr_storage copy = in;
    copy.ss_family = static_cast<sa_family_t>(FromLinuxFamily(in.ss_family));
    const size_t n = std::min(static_cast<size_t>(*length), static_cast<size_t>(inLength));
    std::memcpy(address, &copy, n);
    *length = static_cast<int>(n);
}

bool ToLinuxOption(int level, int option, int& linuxLevel, int& linuxOption) {
    if (level != WS_SOL_SOCKET)
        return false;
    linuxLevel = SOL_SOCKET;
    if (option == WS_SO_BROADCAST)
        linuxOption = SO_BROADCAST;
    else if (option == WS_SO_RCVBUF)
        linuxOption = SO_RCVBUF;
    else if (option == WS_SO_RCVBUFFORCE)
        linuxOption = SO_RCVBUFFORCE;
    else
        return false;
    return true;
}

int TimeoutMilliseconds(const TimeVal* timeout) {
    if (timeout == nullptr)
        return -1;
    return timeout->sec * 1000 + (timeout->usec + 999) / 1000;
}

} // namespace

int WSAStartup(std::uint16_t) {
    return 0;
}
int WSACleanup() {
    return 0;
}

int WSAGetLastError() {
    return lastError;
}
void WSASetLastError(int error) {
    lastError = error;
}

TSocket socket(int family, int type, int protocol) {
    const int linuxFamily = ToLinuxFamily(family);
    if (linuxFamily < 0)
        return Fail(WSAEAFNOSUPPORT);
    const int linuxType = type == WS_SOCK_STREAM ? SOCK_STREAM : SOCK_DGRAM;
    const int s = ::socket(linuxFamily, linuxType | SOCK_CLOEXEC, protocol);
    if (s < 0)
        return FailWithErrno();
    if (linuxFamily == AF_INET6) {
        // As on Windows, an IPv6 socket does not also take the IPv4 port.
        const int on = 1;
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    return s;
}

int bind(TSocket s, const void* address, int length) {
    sockaddr_storage a;
    socklen_t n;
    if (!ToLinuxAddress(address, length, a, n))
        return Fail(WSAEAFNOSUPPORT);
    return ::bind(s, reinterpret_cast<sockaddr*>(&a), n) == 0 ? 0 : FailWithErrno();
}

int getsockname(TSocket s, void* address, int* length) {
    sockaddr_storage a;
    socklen_t n = sizeof a;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0)
        return FailWithErrno();
    FromLinuxAddress(a, n, address, length);
    return 0;
}

int setsockopt(TSocket s, int level, int option, const void* value, int length) {
    int linuxLevel, linuxOption;
    if (!ToLinuxOption(level, option, linuxLevel, linuxOption))
        return Fail(WSAENOPROTOOPT);
    if (::setsockopt(s, linuxLevel, linuxOption, value, static_cast<socklen_t>(length)) != 0)
        return FailWithErrno();
    return 0;
}

int getsockopt(TSocket s, int level, int option, void* value, int* length) {
    int linuxLevel, linuxOption;
    if (!ToLinuxOption(level, option, linuxLevel, linuxOption))
        return Fail(WSAENOPROTOOPT);
    socklen_t n = static_cast<socklen_t>(*length);
    if (::getsockopt(s, linuxLevel, linuxOption, value, &n) != 0)
        return FailWithErrno();
    *length = static_cast<int>(n);
    return 0;
}

int select(int, FdSet* read, FdSet*, FdSet*, const TimeVal* timeout) {
    std::vector<pollfd> fds;
    const std::uint32_t count = read == nullptr ? 0 : read->count;
    for (std::uint32_t i = 0; i < count; ++i)
        fds.push_back(pollfd{read->sockets[i], POLLIN, 0});
    const int rc = ::poll(fds.data(), fds.size(), TimeoutMilliseconds(timeout));
    if (rc < 0)
        return FailWithErrno();
    std::uint32_t ready = 0;
    for (const pollfd& p : fds) {
        if (p.revents & POLLNVAL)
            return Fail(WSAENOTSOCK);
        if (p.revents != 0)
            read->sockets[ready++] = p.fd;
    }
    if (read != nullptr)
        read->count = ready;
    return static_cast<int>(ready);
}

int sendto(TSocket s, const void* buffer, int length, int flags, const void* to, int toLength) {
    sockaddr_storage a;
    socklen_t n;
    if (!ToLinuxAddress(to, toLength, a, n))
        return Fail(WSAEAFNOSUPPORT);
    const ssize_t sent = ::sendto(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                                  reinterpret_cast<sockaddr*>(&a), n);
    return sent < 0 ? FailWithErrno() : static_cast<int>(sent);
}

namespace {

constexpr int RoundSize = 64;

// One system call's worth of a batch read: at most RoundSize datagrams.
int ReadRound(TSocket s, RecvSlot* slots, int count) {
    // Kept per thread so a receiving thread reads without allocating.
    thread_local std::vector<mmsghdr> messages;
    thread_local std::vector<iovec> io;
    thread_local std::vector<sockaddr_storage> sources;
    const auto n = static_cast<size_t>(count < 0 ? 0 : count);
    messages.assign(n, mmsghdr{});
    io.resize(2 * n);
    sources.resize(n);
    for (size_t i = 0; i < n; ++i) {
        io[2 * i] = iovec{slots[i].buffer, static_cast<size_t>(std::max(0, slots[i].length))};
        io[2 * i + 1] = iovec{slots[i].rest, static_cast<size_t>(std::max(0, slots[i].restLength))};
        msghdr& m = messages[i].msg_hdr;
        m.msg_name = &sources[i];
        m.msg_namelen = sizeof sources[i];
        m.msg_iov = &io[2 * i];
        m.msg_iovlen = slots[i].restLength > 0 ? 2 : 1;
    }
    int read;
    do
        read = ::recvmmsg(s, messages.data(), static_cast<unsigned>(n), MSG_DONTWAIT, nullptr);
    while (read < 0 && errno == EINTR);
    if (read < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : FailWithErrno();
    for (int i = 0; i < read; ++i) {
        const msghdr& m = messages[static_cast<size_t>(i)].msg_hdr;
        RecvSlot& slot = slots[i];
        slot.received = static_cast<int>(messages[static_cast<size_t>(i)].msg_len);
        slot.truncated = (m.msg_flags & MSG_TRUNC) != 0;
        slot.from = SockAddrStorage{};
        int length = sizeof slot.from;
        FromLinuxAddress(sources[static_cast<size_t>(i)], m.msg_namelen, &slot.from, &length);
    }
    return read;
}

} // namespace

int recvmmsg(TSocket s, RecvSlot* slots, int count) {
    // In rounds, because preparing a round costs as much as the datagrams it
    // could hold: a reader woken for one datagram must not prepare a
    // thousand, or its own processor time keeps it waiting behind others.
    int total = 0;
    while (total < count) {
        const int round = std::min(count - total, RoundSize);
        const int read = ReadRound(s, slots + total, round);
        // A failure after some datagrams were read shows at the next read;
        // what was read is kept.
        if (read < 0)
            return total > 0 ? total : read;
        total += read;
        if (read < round)
            break;
    }
    return total;
}

int shutdown(TSocket s, int how) {
    const int linuxHow = how == WS_SD_RECEIVE ? SHUT_RD : how == WS_SD_SEND ? SHUT_WR : SHUT_RDWR;
    return ::shutdown(s, linuxHow) == 0 ? 0 : FailWithErrno();
}

int closesocket(TSocket s) {
    return ::close(s) == 0 ? 0 : FailWithErrno();
}

bool IPv6ProtocolInstalled() {
    const int s = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    ::close(s);
    return true;
}

int getaddrinfo(const std::string& host, int family, SockAddrStorage& result) {
    addrinfo hints{};
    hints.ai_family = ToLinuxFamily(family);
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        switch (rc) {
        case EAI_AGAIN:
            return 11002;
        case EAI_BADFLAGS:
            return 10022;
        case EAI_FAIL:
            return 11003;
        case EAI_FAMILY:
            return 10047;
        case EAI_MEMORY:
            return 8;
        case EAI_NODATA:
            return 11004;
        case EAI_NONAME:
            return 11001;
        case EAI_SERVICE:
            return 10109;
        case EAI_SOCKTYPE:
            return 10044;
        case EAI_SYSTEM:
            return ErrnoToWSAError(errno);
        default:
            return rc;
        }
    }
    sockaddr_storage a{};
    std::memcpy(&a, list->ai_addr, list->ai_addrlen);
    int length = sizeof result;
    FromLinuxAddress(a, list->ai_addrlen, &result, &length);
    ::freeaddrinfo(list);
    return 0;
}

int ErrnoToWSAError(int error) {
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EPERM: // a firewall rule refusing the datagram
    case EACCES:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
    case EPIPE:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return error;
    }
}

} // namespace ws
