#pragma once

#include "platform/WinSock.h"

#include <mutex>

// A fixed set of at most 64 sockets on which a thread waits for readability.
// Any thread may add, remove and wait; `lock_` guards the set, and a wait runs
// on a copy taken under the lock, so a socket may leave the set while another
// thread waits on it.
class TIdSocketListWindows {
public:
    void Add(ws::TSocket socket);
    void Remove(ws::TSocket socket);
    int Count() const;
    ws::TSocket Items(int index) const;
    // Waits until some socket of the set is readable; timeout in milliseconds,
    // -2 for no limit. Raises the socket error when the wait fails.
    bool SelectRead(int timeoutMs) const;

private:
    mutable std::mutex lock_;
    ws::FdSet set_{};
};
