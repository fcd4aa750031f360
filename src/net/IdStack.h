#pragma once

#include "net/IdDatagramBatch.h"
#include "net/IdGlobal.h"
#include "platform/WinSock.h"

#include <array>
#include <cstdint>
#include <string>

// The socket layer: the one place that calls the sockets library. Every call
// that fails raises EIdSocketError (EIdNotASocket for 10038) with a fixed
// English text. The object keeps no state between calls, so the UI thread and
// the receiving threads share it without a lock.
class TIdStack {
public:
    virtual ~TIdStack() = default;

    virtual ws::TSocket NewSocketHandle(int socketType, int protocol, TIdIPVersion version,
                                        bool overlapped) = 0;
    virtual void Bind(ws::TSocket socket, const std::string& ip, std::uint16_t port,
                      TIdIPVersion version) = 0;
    virtual void GetSocketName(ws::TSocket socket, std::string& ip, std::uint16_t& port,
                               TIdIPVersion& version) = 0;
    virtual void SetSocketOption(ws::TSocket socket, int level, int option, std::int32_t value) = 0;
    virtual std::int32_t GetSocketOption(ws::TSocket socket, int level, int option) = 0;
    // Adds to `batch` what the socket has queued, as far as it has room,
    // without waiting; returns how many datagrams were read (0 when none).
    virtual int ReceiveBatch(ws::TSocket socket, TIdDatagramBatch& batch) = 0;
    // Sends `size` bytes from `offset` (-1: the rest); sends nothing and
    // returns 0 when no bytes are left.
    virtual int SendTo(ws::TSocket socket, const TIdBytes& buffer, int offset, int size,
                       const std::string& ip, std::uint16_t port, TIdIPVersion version) = 0;
    // shutdown (sending) then close; results are not examined.
    virtual void Disconnect(ws::TSocket socket) = 0;
    virtual bool SupportsIPv6() = 0;

    std::string ResolveAddress(const std::string& host, TIdIPVersion version);

    static std::string SocketErrorMessage(int error);
    [[noreturn]] static void RaiseSocketError(int error);
    [[noreturn]] static void RaiseLastSocketError();
    // Raises the last socket error when `result` is -1; returns `result`.
    static int CheckForSocketError(int result);
    // The address text and port of a sender's socket address.
    static void ReadSenderAddress(const ws::SockAddrStorage& address, std::string& ip,
                                  std::uint16_t& port);

    static bool IsIP(const std::string& text);
    // Raises EConvertError for a part that is not a number from 0 to 255.
    static std::array<std::uint8_t, 4> IPv4ToBytes(const std::string& text);
    static std::string BytesToIPv4(const std::uint8_t bytes[4]);
    // Groups in host order; raises EIdInvalidIPv6Address for a text that has
    // no canonical form.
    static std::array<std::uint16_t, 8> IPv6ToGroups(const std::string& text);
    static std::string GroupsToIPv6(const std::array<std::uint16_t, 8>& groups);
    // "" when the text is not an IPv6 address.
    static std::string MakeCanonicalIPv6Address(const std::string& text);

protected:
    virtual std::string HostByName(const std::string& host, TIdIPVersion version) = 0;
};

// The socket layer over this platform's sockets.
class TIdStackWindows : public TIdStack {
public:
    TIdStackWindows();

    ws::TSocket NewSocketHandle(int socketType, int protocol, TIdIPVersion version,
                                bool overlapped) override;
    void Bind(ws::TSocket socket, const std::string& ip, std::uint16_t port,
              TIdIPVersion version) override;
    void GetSocketName(ws::TSocket socket, std::string& ip, std::uint16_t& port,
                       TIdIPVersion& version) override;
    void SetSocketOption(ws::TSocket socket, int level, int option, std::int32_t value) override;
    std::int32_t GetSocketOption(ws::TSocket socket, int level, int option) override;
    int ReceiveBatch(ws::TSocket socket, TIdDatagramBatch& batch) override;
    int SendTo(ws::TSocket socket, const TIdBytes& buffer, int offset, int size,
               const std::string& ip, std::uint16_t port, TIdIPVersion version) override;
    void Disconnect(ws::TSocket socket) override;
    bool SupportsIPv6() override;

protected:
    std::string HostByName(const std::string& host, TIdIPVersion version) override;
};

// The process-wide socket layer. Every endpoint component acquires it when it
// is created and releases it when it is destroyed; the first acquisition
// creates it, the release that brings the count to 0 destroys it. A
// process-wide lock guards the count and the creation and destruction.
void AcquireStack();
void ReleaseStack();
// The socket layer while some component holds it.
TIdStack& GStack();
