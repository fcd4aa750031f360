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
// While the UI thread runs one batch, this thread reads what arrives into the
// next one, which it hands over once the first has run. Reading on, instead
// of waiting for the UI thread after each datagram, is what keeps a burst of
// replies from overflowing the socket's receive queue.
//
// Threads: this thread fills the batches; the UI thread reads the one handed
// over, writes the buffer and SenderIP/SenderPort and runs the events while
// this thread fills only the other (with ThreadedEvent, this thread does all
// of it and reads no batch ahead).
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
    // Fills `batch` from the socket; a failure goes to OnUDPException.
    bool Read(TIdDatagramBatch& batch);
    // Hands `batch` over, reading ahead into the other batch meanwhile when
    // `readAhead` is set.
    void DeliverBatch(TIdDatagramBatch& batch, bool readAhead);
    // Reads into `ahead` whatever arrives until `doneFd` becomes readable.
    void ReadAhead(TIdDatagramBatch& ahead, int doneFd);
    // One read without waiting; false when nothing more is to be read now.
    bool ReadMore(TIdDatagramBatch& ahead);
    void DeliverDatagram(const TIdDatagramBatch::Datagram& datagram);
    void DeliverException(const std::string& message, const std::string& exceptionClass);
    // Runs `event` in this thread or in the UI thread, by ThreadedEvent.
    void Deliver(const std::function<void()>& event);

    TIdSocketHandle& binding_;
    TIdUDPServer& server_;
    // Handed over in turn: one to the UI thread, the other read ahead into.
    TIdDatagramBatch batches_[2];
    // What OnUDPRead is handed: the datagram being delivered.
    TIdBytes buffer_;
};
