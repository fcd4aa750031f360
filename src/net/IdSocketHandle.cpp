#include "net/IdSocketHandle.h"

#include "net/IdException.h"
#include "net/IdStack.h"
#include "platform/Exception.h"

TIdSocketHandle::TIdSocketHandle(std::uint16_t defaultPort) : Port(defaultPort) {}

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

void TIdSocketHandle::SetHandle(ws::TSocket handle) {
    std::lock_guard guard(closeLock_);
    if (socketOpen_)
        readSet_.Remove(handle_);
    handle_ = handle;
    socketOpen_ = handle != ws::WS_INVALID_SOCKET;
    if (socketOpen_)
        readSet_.Add(handle);
}

void TIdSocketHandle::AllocateSocket() {
    CloseSocket();
    SetHandle(GStack().NewSocketHandle(ws::WS_SOCK_DGRAM, 0, ipVersion_, overlapped_));
}

void TIdSocketHandle::CloseSocket() {
    std::lock_guard guard(closeLock_);
    if (!socketOpen_)
        return;
    socketOpen_ = false;
    const ws::TSocket handle = handle_;
    // Out of the set before the number can be reused by another socket.
    readSet_.Remove(handle);
    ws::shutdown(handle, ws::WS_SD_RECEIVE);
    GStack().Disconnect(handle);
    handle_ = ws::WS_INVALID_SOCKET;
}

void TIdSocketHandle::ShutdownReceive() {
    std::lock_guard guard(closeLock_);
    if (socketOpen_)
        ws::shutdown(handle_, ws::WS_SD_RECEIVE);
}

bool TIdSocketHandle::TryBind() {
    try {
        GStack().Bind(handle_, IP, Port, ipVersion_);
        GStack().GetSocketName(handle_, IP, Port, ipVersion_);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void TIdSocketHandle::Bind() {
    if (Port == 0 && ClientPortMin != 0 && ClientPortMax != 0) {
        if (ClientPortMax < ClientPortMin)
            throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
        for (int p = ClientPortMax; p >= ClientPortMin; --p) {
            Port = static_cast<std::uint16_t>(p);
            if (TryBind())
                return;
        }
        throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
    }
    if (!TryBind())
        throw EIdCouldNotBindSocket();
}

void TIdSocketHandle::SetBroadcastFlag(bool enabled) {
    GStack().SetSocketOption(handle_, ws::WS_SOL_SOCKET, ws::WS_SO_BROADCAST, enabled ? 1 : 0);
}

void TIdSocketHandle::SetReceiveBufferSize(std::int32_t bytes) {
    // A stock host caps the ordinary request far below what a burst of
    // replies needs; with the right to (root or CAP_NET_ADMIN) the cap is
    // passed by.
    if (ws::setsockopt(handle_, ws::WS_SOL_SOCKET, ws::WS_SO_RCVBUFFORCE, &bytes, sizeof bytes) ==
        0)
        return;
    GStack().SetSocketOption(handle_, ws::WS_SOL_SOCKET, ws::WS_SO_RCVBUF, bytes);
}

void TIdSocketHandle::Assign(const TIdSocketHandle& source) {
    IP = source.IP;
    Port = source.Port;
    SenderIP = source.SenderIP;
    SenderPort = source.SenderPort;
    SetIPVersion(source.ipVersion_);
}

void TIdSocketHandle::SetIPVersion(TIdIPVersion version) {
    if (version == ipVersion_)
        return;
    if (socketOpen_)
        throw EIdCannotSetIPVersionWhenConnected();
    ipVersion_ = version;
}

TIdSocketHandle& TIdSocketHandles::Add() {
    items_.push_back(std::make_unique<TIdSocketHandle>(DefaultPort));
    return *items_.back();
}

void TIdSocketHandles::Clear() {
    items_.clear();
}

TIdSocketHandle& TIdSocketHandles::operator[](int index) {
    if (index < 0 || index >= Count())
        throw EListError(index);
    return *items_[static_cast<size_t>(index)];
}
