#pragma once

#include "net/IdGlobal.h"
#include "net/IdSocketList.h"
#include "platform/WinSock.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One binding of an endpoint: a UDP socket bound to a local address and port.
// The UI thread configures, opens, binds and closes it; the binding's
// receiving thread reads the socket, writes SenderIP/SenderPort and closes
// the socket when it ends. `closeLock_` makes those two closes safe against
// each other; `readSet_` has its own lock.
class TIdSocketHandle {
public:
    explicit TIdSocketHandle(std::uint16_t defaultPort);
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Closes any socket still held, then opens a new one of this binding's family.
    void AllocateSocket();
    // Binds to IP and Port (or the port range) and reads the bound address back.
    void Bind();
    // Safe from any thread and when already closed. Shuts the receive side
    // first, which wakes a thread waiting for the socket to become readable.
    // Only once no other thread may still use the socket: the number is free
    // for reuse as soon as it is closed.
    void CloseSocket();
    // Wakes a thread waiting for the socket to become readable and leaves the
    // socket open, so that thread can still finish with it safely.
    void ShutdownReceive();
    void SetBroadcastFlag(bool enabled);
    // Asks the system for a receive queue of `bytes`, past the system's cap
    // where the process may; otherwise the system may grant less.
    void SetReceiveBufferSize(std::int32_t bytes);
    // Copies IP, Port, SenderIP, SenderPort and IPVersion.
    void Assign(const TIdSocketHandle& source);

    ws::TSocket Handle() const { return handle_; }
    bool SocketOpen() const { return socketOpen_; }
    TIdSocketListWindows& ReadSet() { return readSet_; }

    std::string IP;
    std::uint16_t Port = 0;
    std::uint16_t ClientPortMin = 0;
    std::uint16_t ClientPortMax = 0;
    std::string SenderIP;
    std::uint16_t SenderPort = 0;

    TIdIPVersion IPVersion() const { return ipVersion_; }
    // Allowed only while no socket is open (or to the value it has).
    void SetIPVersion(TIdIPVersion version);

private:
    void SetHandle(ws::TSocket handle);
    bool TryBind();

    // Written under closeLock_ by the UI thread (open, close) and by the
    // receiving thread (its closing close); read without the lock by both.
    std::atomic<ws::TSocket> handle_ = ws::WS_INVALID_SOCKET;
    std::atomic<bool> socketOpen_ = false;
    TIdIPVersion ipVersion_ = TIdIPVersion::Id_IPv4;
    bool overlapped_ = false;
    TIdSocketListWindows readSet_;
    std::mutex closeLock_;
};

// The endpoint's bindings. A new binding starts on DefaultPort. Changed only
// while the endpoint is inactive, since receiving threads refer to bindings.
class TIdSocketHandles {
public:
    TIdSocketHandle& Add();
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError for an index outside the bindings.
    TIdSocketHandle& operator[](int index);

    std::uint16_t DefaultPort = 0;

private:
    std::vector<std::unique_ptr<TIdSocketHandle>> items_;
};
