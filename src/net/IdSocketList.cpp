#include "net/IdSocketList.h"

#include "net/IdException.h"
#include "net/IdStack.h"

#include <algorithm>
#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
}

void TIdSocketListWindows::Add(ws::TSocket socket) {
    std::lock_guard guard(lock_);
    if (set_.count >= ws::WS_FD_SETSIZE)
        throw EIdStackSetSizeExceeded();
    set_.sockets[set_.count++] = socket;
}

void TIdSocketListWindows::Remove(ws::TSocket socket) {
    std::lock_guard guard(lock_);
    for (std::uint32_t i = 0; i < set_.count; ++i) {
        if (set_.sockets[i] != socket)
            continue;
        set_.sockets[i] = set_.sockets[set_.count - 1];
        set_.sockets[--set_.count] = 0;
        return;
    }
}

int TIdSocketListWindows::Count() const {
    std::lock_guard guard(lock_);
    return static_cast<int>(set_.count);
}

ws::TSocket TIdSocketListWindows::Items(int index) const {
    std::lock_guard guard(lock_);
    if (index < 0 || index >= static_cast<int>(set_.count))
        throw EIdStackSetSizeExceeded();
    return set_.sockets[index];
}

bool TIdSocketListWindows::SelectRead(int timeoutMs) const {
    ws::FdSet copy;
    {
        std::lock_guard guard(lock_);
        copy = set_;
    }
    // An empty set means the socket is being closed: nothing to wait for.
    if (copy.count == 0)
        return false;
    // A signal ends the system's wait early; the wait goes on for the time
    // that is left, since a receiving thread must outlive any signal.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ws::FdSet ready = copy;
        const auto left = std::max<long long>(
            0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
        ws::TimeVal timeout{static_cast<std::int32_t>(left / 1000),
                            static_cast<std::int32_t>(left % 1000 * 1000)};
        if (ws::select(0, &ready, nullptr, nullptr, timeoutMs == -2 ? nullptr : &timeout) !=
            ws::WS_SOCKET_ERROR)
            return ready.count > 0;
        if (ws::WSAGetLastError() != ws::WSAEINTR)
            TIdStack::RaiseLastSocketError();
    }
}
