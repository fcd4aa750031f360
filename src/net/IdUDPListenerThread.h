#pragma once

#include "net/IdDatagramBatch.h"
#include "net/IdGlobal.h"
#include "net/IdThread.h"

#include <string>

class TIdSocketHandle;
class TIdUDPServer;

// The receiving thread of one binding. Each cycle waits up to ReadWait for
// the socket to become readable, then reads every datagram already queued
// (up to the batch's limit) and hands the whole batch over in one go:
// OnUDPRead runs once per datagram, in arrival order, with the sender
// recorded on the binding first. A failure of one datagram goes to
// OnUDPException in its place and the rest of the batch still follows.
// Reading on while datagrams queue up, instead of waiting for the UI thread
// after each one, is what keeps a burst of replies from overflowing the
// socket's receive queue.
//
// Threads: this thread fills the batch; the UI thread reads it, writes the
// buffer and SenderIP/SenderPort and runs the events while this thread waits
// in the hand-over (with ThreadedEvent, this thread does all of it).
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
    void DeliverBatch();
    void DeliverDatagram(const TIdDatagramBatch::Datagram& datagram);
    void DeliverException(const std::string& message, const std::string& exceptionClass);
    // Runs `event` in this thread or in the UI thread, by ThreadedEvent.
    void Deliver(const std::function<void()>& event);

    TIdSocketHandle& binding_;
    TIdUDPServer& server_;
    TIdDatagramBatch batch_;
    // What OnUDPRead is handed: the datagram being delivered.
    TIdBytes buffer_;
};
