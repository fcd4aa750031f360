#pragma once

#include <cstdint>
#include <string>

// The socket calls the socket layer needs, with the numbers callers know from
// Windows Sockets: family 2 / 23, SOL_SOCKET 0xFFFF, SO_BROADCAST 0x20, error
// numbers 100xx. Each call translates to the Linux call and back, so the
// socket layer above keeps its error numbers and texts unchanged. A failing
// call returns -1 and leaves its error number for WSAGetLastError, per thread.
// Constants carry a WS_ prefix so they never meet the system headers' macros.
namespace ws {

using TSocket = std::int32_t;
constexpr TSocket WS_INVALID_SOCKET = -1;
constexpr int WS_SOCKET_ERROR = -1;

constexpr int WS_AF_INET = 2;
constexpr int WS_AF_INET6 = 23;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_SOCK_DGRAM = 2;
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_BROADCAST = 0x0020;
constexpr int WS_SO_RCVBUF = 0x1002;
// Linux's receive queue request that ignores the system's cap; it needs
// CAP_NET_ADMIN. Windows has no such option, so the number is our own.
constexpr int WS_SO_RCVBUFFORCE = 0x7002;
constexpr int WS_SD_RECEIVE = 0;
constexpr int WS_SD_SEND = 1;
constexpr int WS_FD_SETSIZE = 64;

constexpr int WSAEINTR = 10004;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEINVAL = 10022;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;

// The 16-byte IPv4 socket address: family 2, port and address in network order.
struct SockAddrIn {
    std::uint16_t family;
    std::uint16_t port;
    std::uint8_t addr[4];
    std::uint8_t zero[8];
};
static_assert(sizeof(SockAddrIn) == 16);

// The 28-byte IPv6 socket address: family 23.
struct SockAddrIn6 {
    std::uint16_t family;
    std::uint16_t port;
    std::uint32_t flowinfo;
    std::uint8_t addr[16];
    std::uint32_t scope_id;
};
static_assert(sizeof(SockAddrIn6) == 28);

// Room for either address; `family` tells which one it holds.
union SockAddrStorage {
    std::uint16_t family;
    SockAddrIn in;
    SockAddrIn6 in6;
};

// A set of up to 64 sockets with its count, as select() takes it.
struct FdSet {
    std::uint32_t count;
    TSocket sockets[WS_FD_SETSIZE];
};

struct TimeVal {
    std::int32_t sec;
    std::int32_t usec;
};

// Loading the sockets library: nothing to load here; always succeeds.
int WSAStartup(std::uint16_t version);
int WSACleanup();

int WSAGetLastError();
void WSASetLastError(int error);

TSocket socket(int family, int type, int protocol);
int bind(TSocket s, const void* address, int length);
int getsockname(TSocket s, void* address, int* length);
int setsockopt(TSocket s, int level, int option, const void* value, int length);
int getsockopt(TSocket s, int level, int option, void* value, int* length);
// Waits until some socket of `read` is readable; afterwards `read` holds only
// the readable ones. A null time-out waits without limit.
int select(int ignored, FdSet* read, FdSet* write, FdSet* error, const TimeVal* timeout);
int sendto(TSocket s, const void* buffer, int length, int flags, const void* to, int toLength);

// One datagram of a batch read: where it goes (its first bytes to `buffer`,
// any more to `rest`), and what came.
struct RecvSlot {
    void* buffer;
    int length;
    void* rest;
    int restLength;
    int received;   // bytes stored in both parts together
    bool truncated; // the datagram was longer than both parts
    SockAddrStorage from;
};
// Reads up to `count` datagrams that are already queued, without waiting.
// Returns how many were read (0 when none is queued), or -1. A signal does
// not end the read.
int recvmmsg(TSocket s, RecvSlot* slots, int count);
int shutdown(TSocket s, int how);
int closesocket(TSocket s);

// True when an IPv6 protocol is installed on this host.
bool IPv6ProtocolInstalled();

// Name look-up: the first address of `host` for `family`, as socket address.
// Returns 0 or an error number of the Windows Sockets range.
int getaddrinfo(const std::string& host, int family, SockAddrStorage& result);

// Translates a Linux errno to the Windows Sockets error number. An errno with
// no such number comes back unchanged, below 10000.
int ErrnoToWSAError(int error);

} // namespace ws
