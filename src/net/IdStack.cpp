#include "net/IdStack.h"

#include "net/IdException.h"
#include "platform/SysErrorMessage.h"
#include "platform/SysUtils.h"

#include <arpa/inet.h>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace {

// The part before the first `delimiter`, removed from `text` with the
// delimiter; the whole text when there is none.
std::string Fetch(std::string& text, char delimiter) {
    const size_t at = text.find(delimiter);
    std::string part = text.substr(0, at);
    text = at == std::string::npos ? std::string() : text.substr(at + 1);
    return part;
}

// A decimal integer with an optional sign, within 32 bits.
std::optional<std::int64_t> ParseInteger(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size() || text.size() - i > 10)
        return std::nullopt;
    std::int64_t value = 0;
    for (size_t k = i; k < text.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return std::nullopt;
        value = value * 10 + (text[k] - '0');
    }
    value = text[0] == '-' ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return value;
}

// The four trimmed parts of a dotted text, the fourth taking the rest.
std::array<std::string, 4> DottedParts(std::string text) {
    std::array<std::string, 4> parts;
    for (int i = 0; i < 3; ++i)
        parts[i] = Trim(Fetch(text, '.'));
    parts[3] = Trim(text);
    return parts;
}

std::optional<std::uint16_t> ParseHexGroup(const std::string& text) {
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    std::uint16_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        const int digit =
            std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(c) - 'A' + 10;
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    return value;
}

std::vector<std::string> Split(const std::string& text, char delimiter) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(delimiter, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// Hex groups of one side of "::" (or of the whole address); a trailing
// dotted IPv4 part becomes two groups when `allowIPv4` is set.
std::optional<std::vector<std::uint16_t>> ParseGroups(const std::string& text, bool allowIPv4) {
    std::vector<std::uint16_t> groups;
    if (text.empty())
        return groups;
    const std::vector<std::string> parts = Split(text, ':');
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (last && allowIPv4 && parts[i].find('.') != std::string::npos) {
            if (!TIdStack::IsIP(parts[i]))
                return std::nullopt;
            const auto b = TIdStack::IPv4ToBytes(parts[i]);
            groups.push_back(static_cast<std::uint16_t>(b[0] << 8 | b[1]));
            groups.push_back(static_cast<std::uint16_t>(b[2] << 8 | b[3]));
            continue;
        }
        const auto group = ParseHexGroup(parts[i]);
        if (!group)
            return std::nullopt;
        groups.push_back(*group);
    }
    return groups;
}

std::optional<std::array<std::uint16_t, 8>> ParseIPv6(std::string text) {
    text = Trim(text);
    // A single leading or trailing ":" stands for a zero group.
    if (text.size() > 1 && text[0] == ':' && text[1] != ':')
        text = "0" + text;
    if (text.size() > 1 && text.back() == ':' && text[text.size() - 2] != ':')
        text += "0";
    const size_t gap = text.find("::");
    if (gap != std::string::npos && text.find("::", gap + 1) != std::string::npos)
        return std::nullopt;
    const auto head = ParseGroups(gap == std::string::npos ? text : text.substr(0, gap),
                                  gap == std::string::npos);
    const auto tail = gap == std::string::npos ? std::vector<std::uint16_t>()
                                               : ParseGroups(text.substr(gap + 2), true);
    if (!head || !tail)
        return std::nullopt;
    const size_t given = head->size() + tail->size();
    if (gap == std::string::npos ? given != 8 : given > 7)
        return std::nullopt;
    std::array<std::uint16_t, 8> groups{};
    std::copy(head->begin(), head->end(), groups.begin());
    std::copy(tail->begin(), tail->end(), groups.end() - static_cast<long>(tail->size()));
    return groups;
}

int FamilyOf(TIdIPVersion version) {
    switch (version) {
    case TIdIPVersion::Id_IPv4:
        return ws::WS_AF_INET;
    case TIdIPVersion::Id_IPv6:
        return ws::WS_AF_INET6;
    }
    throw EIdIPVersionUnsupported();
}

// The socket address for `ip` and `port`; empty `ip` is the any-address.
ws::SockAddrStorage MakeAddress(const std::string& ip, std::uint16_t port, TIdIPVersion version,
                                int& length) {
    ws::SockAddrStorage address{};
    if (version == TIdIPVersion::Id_IPv4) {
        address.in.family = ws::WS_AF_INET;
        address.in.port = htons(port);
        if (!ip.empty()) {
            const auto bytes = TIdStack::IPv4ToBytes(ip);
            std::memcpy(address.in.addr, bytes.data(), 4);
        }
        length = sizeof(ws::SockAddrIn);
    } else if (version == TIdIPVersion::Id_IPv6) {
        address.in6.family = ws::WS_AF_INET6;
        address.in6.port = htons(port);
        if (!ip.empty()) {
            const auto groups = TIdStack::IPv6ToGroups(ip);
            for (int i = 0; i < 8; ++i) {
                address.in6.addr[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
                address.in6.addr[2 * i + 1] = static_cast<std::uint8_t>(groups[i]);
            }
        }
        length = sizeof(ws::SockAddrIn6);
    } else {
        throw EIdIPVersionUnsupported();
    }
    return address;
}

// Address text, port and version of a socket address.
void ReadAddress(const ws::SockAddrStorage& address, std::string& ip, std::uint16_t& port,
                 TIdIPVersion& version) {
    if (address.family == ws::WS_AF_INET) {
        ip = TIdStack::BytesToIPv4(address.in.addr);
        port = ntohs(address.in.port);
        version = TIdIPVersion::Id_IPv4;
    } else if (address.family == ws::WS_AF_INET6) {
        std::array<std::uint16_t, 8> groups;
        for (int i = 0; i < 8; ++i)
            groups[i] = static_cast<std::uint16_t>(address.in6.addr[2 * i] << 8 |
                                                   address.in6.addr[2 * i + 1]);
        ip = TIdStack::GroupsToIPv6(groups);
        port = ntohs(address.in6.port);
        version = TIdIPVersion::Id_IPv6;
    } else {
        throw EIdIPVersionUnsupported();
    }
}

} // namespace

std::string TIdStack::SocketErrorMessage(int error) {
    static const std::map<int, const char*> texts = {
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Buffer fault."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported on socket."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10059, "Too many references, cannot splice."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10062, "Too many levels of symbolic links."},
        {10063, "File name too long."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10066, "Directory not empty"},
        {11001, "Host not found."},
    };
    const auto it = texts.find(error);
    std::string text = it != texts.end() ? it->second : "";
    // An errno without a Windows Sockets number passes through below 10000;
    // it keeps the system's text rather than none.
    if (it == texts.end() && error > 0 && error < 10000)
        text = SysErrorMessage(error);
    return "Socket Error # " + std::to_string(error) + "\r\n" + text;
}

void TIdStack::RaiseSocketError(int error) {
    if (error == ws::WSAENOTSOCK)
        throw EIdNotASocket(SocketErrorMessage(error), error);
    throw EIdSocketError(SocketErrorMessage(error), error);
}

void TIdStack::RaiseLastSocketError() {
    RaiseSocketError(ws::WSAGetLastError());
}

int TIdStack::CheckForSocketError(int result) {
    if (result == ws::WS_SOCKET_ERROR)
        RaiseLastSocketError();
    return result;
}

void TIdStack::ReadSenderAddress(const ws::SockAddrStorage& address, std::string& ip,
                                 std::uint16_t& port) {
    TIdIPVersion version;
    ReadAddress(address, ip, port, version);
}

bool TIdStack::IsIP(const std::string& text) {
    for (const std::string& part : DottedParts(text)) {
        const auto value = ParseInteger(part);
        if (!value || *value < 0 || *value > 255 || part[0] == '-' || part[0] == '+')
            return false;
    }
    return true;
}

std::array<std::uint8_t, 4> TIdStack::IPv4ToBytes(const std::string& text) {
    std::array<std::uint8_t, 4> bytes;
    const auto parts = DottedParts(text);
    for (int i = 0; i < 4; ++i) {
        const auto value = ParseInteger(parts[i]);
        // A part outside 0..255 would wrap to another address ("127.0.0.257"
        // to 127.0.0.1): it is refused like a part that is no number.
        if (!value || *value < 0 || *value > 255)
            throw EConvertError("'" + parts[i] + "' is not a valid integer value");
        bytes[i] = static_cast<std::uint8_t>(*value);
    }
    return bytes;
}

std::string TIdStack::BytesToIPv4(const std::uint8_t bytes[4]) {
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
           std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
}

std::array<std::uint16_t, 8> TIdStack::IPv6ToGroups(const std::string& text) {
    const auto groups = ParseIPv6(text);
    if (!groups)
        throw EIdInvalidIPv6Address(text);
    return *groups;
}

std::string TIdStack::GroupsToIPv6(const std::array<std::uint16_t, 8>& groups) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 8; ++i) {
        if (i > 0)
            text += ':';
        std::string group;
        for (unsigned v = groups[i]; v != 0 || group.empty(); v >>= 4)
            group.insert(group.begin(), digits[v & 0xF]);
        text += group;
    }
    return text;
}

std::string TIdStack::MakeCanonicalIPv6Address(const std::string& text) {
    const auto groups = ParseIPv6(text);
    return groups ? GroupsToIPv6(*groups) : std::string();
}

std::string TIdStack::ResolveAddress(const std::string& host, TIdIPVersion version) {
    if (version == TIdIPVersion::Id_IPv4) {
        std::string upper = host;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper == "LOCALHOST")
            return "127.0.0.1";
        if (IsIP(host))
            return host;
        return HostByName(host, version);
    }
    if (version == TIdIPVersion::Id_IPv6) {
        const std::string canonical = MakeCanonicalIPv6Address(host);
        return canonical.empty() ? HostByName(host, version) : canonical;
    }
    throw EIdIPVersionUnsupported();
}

TIdStackWindows::TIdStackWindows() {
    // The library is loaded and started once per process, by the first
    // socket layer object; later ones find it loaded.
    static const int started = ws::WSAStartup(0x0202);
    if (started != 0)
        throw EIdStackInitializationFailed(
            EIdWinsockStubError(started, "Error on loading Winsock2 library (WS2_32.DLL)", "")
                .Message());
}

ws::TSocket TIdStackWindows::NewSocketHandle(int socketType, int protocol, TIdIPVersion version,
                                             bool) {
    return CheckForSocketError(ws::socket(FamilyOf(version), socketType, protocol));
}

void TIdStackWindows::Bind(ws::TSocket socket, const std::string& ip, std::uint16_t port,
                           TIdIPVersion version) {
    int length = 0;
    const ws::SockAddrStorage address = MakeAddress(ip, port, version, length);
    CheckForSocketError(ws::bind(socket, &address, length));
}

void TIdStackWindows::GetSocketName(ws::TSocket socket, std::string& ip, std::uint16_t& port,
                                    TIdIPVersion& version) {
    ws::SockAddrStorage address{};
    int length = sizeof(ws::SockAddrIn6);
    CheckForSocketError(ws::getsockname(socket, &address, &length));
    ReadAddress(address, ip, port, version);
}

void TIdStackWindows::SetSocketOption(ws::TSocket socket, int level, int option,
                                      std::int32_t value) {
    CheckForSocketError(ws::setsockopt(socket, level, option, &value, sizeof value));
}

std::int32_t TIdStackWindows::GetSocketOption(ws::TSocket socket, int level, int option) {
    std::int32_t value = 0;
    int length = sizeof value;
    CheckForSocketError(ws::getsockopt(socket, level, option, &value, &length));
    return value;
}

int TIdStackWindows::ReceiveBatch(ws::TSocket socket, TIdDatagramBatch& batch) {
    const int read =
        CheckForSocketError(ws::recvmmsg(socket, batch.FreeSlots(), batch.FreeCount()));
    batch.Take(read);
    return read;
}

int TIdStackWindows::SendTo(ws::TSocket socket, const TIdBytes& buffer, int offset, int size,
                            const std::string& ip, std::uint16_t port, TIdIPVersion version) {
    int count = std::max(0, static_cast<int>(buffer.size()) - offset);
    if (size != -1)
        count = std::min(count, size);
    if (count <= 0)
        return 0;
    int length = 0;
    const ws::SockAddrStorage address = MakeAddress(ip, port, version, length);
    const int sent = ws::sendto(socket, buffer.data() + offset, count, 0, &address, length);
    if (sent == ws::WS_SOCKET_ERROR) {
        if (ws::WSAGetLastError() == ws::WSAEMSGSIZE)
            throw EIdPackageSizeTooBig();
        RaiseLastSocketError();
    }
    if (sent != count)
        throw EIdNotAllBytesSent();
    return sent;
}

void TIdStackWindows::Disconnect(ws::TSocket socket) {
    ws::shutdown(socket, ws::WS_SD_SEND);
    ws::closesocket(socket);
}

bool TIdStackWindows::SupportsIPv6() {
    return ws::IPv6ProtocolInstalled();
}

std::string TIdStackWindows::HostByName(const std::string& host, TIdIPVersion version) {
    ws::SockAddrStorage address{};
    const int error = ws::getaddrinfo(host, FamilyOf(version), address);
    if (error != 0)
        RaiseSocketError(error);
    std::string ip;
    std::uint16_t port;
    TIdIPVersion found;
    ReadAddress(address, ip, port, found);
    return ip;
}

namespace {

// The singleton and its usage count, guarded by `lock`.
struct StackSingleton {
    std::mutex lock;
    int usage = 0;
    std::unique_ptr<TIdStack> stack;
};

StackSingleton& Singleton() {
    static StackSingleton singleton;
    return singleton;
}

} // namespace

void AcquireStack() {
    StackSingleton& s = Singleton();
    std::lock_guard guard(s.lock);
    if (s.usage == 0)
        s.stack = std::make_unique<TIdStackWindows>();
    ++s.usage;
}

void ReleaseStack() {
    StackSingleton& s = Singleton();
    std::lock_guard guard(s.lock);
    if (s.usage > 0 && --s.usage == 0)
        s.stack.reset();
}

TIdStack& GStack() {
    StackSingleton& s = Singleton();
    std::lock_guard guard(s.lock);
    if (!s.stack)
        throw EIdStackError("Stack Class is undefined.");
    return *s.stack;
}
