#pragma once

#include "net/IdGlobal.h"
#include "net/IdThread.h"

#include <string>

class TIdSocketHandle;
class TIdUDPServer;

// The receiving thread of one binding. Each cycle waits up to ReadWait for
// the socket to become readable, receives one datagram into the buffer,
// records the sender on the binding and delivers OnUDPRead. A failure inside
// a cycle goes to OnUDPException and the next cycle follows.
//
// Threads: only this thread touches the buffer and the last failure; it
// writes SenderIP/SenderPort, which the UI thread reads inside the delivered
// event while this thread waits for it.
class TIdUDPListenerThread : public TIdThread {
public:
    TIdUDPListenerThread(TIdSocketHandle& binding, TIdUDPServer& server);
    ~TIdUDPListenerThread() override;

    TIdSocketHandle& Binding() const { return binding_; }

    // The longest wait for readability in one cycle, in milliseconds.
    static constexpr int ReadWait = 1000;

protected:
    void Run() override;
    // Closes the binding's socket when the thread ends.
    void AfterRun() override;

private:
    bool WaitReadable();
    void ReceiveAndDeliver();
    void DeliverRead();
    void DeliverException(const std::string& message, const std::string& exceptionClass);
    // Runs `event` in this thread or in the UI thread, by ThreadedEvent.
    void Deliver(const std::function<void()>& event);

    TIdSocketHandle& binding_;
    TIdUDPServer& server_;
    TIdBytes buffer_;
};
