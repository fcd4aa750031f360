#include "net/IdUDPListenerThread.h"

#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"
#include "platform/Exception.h"

#include <algorithm>

TIdUDPListenerThread::TIdUDPListenerThread(TIdSocketHandle& binding, TIdUDPServer& server)
    : binding_(binding), server_(server) {}

TIdUDPListenerThread::~TIdUDPListenerThread() {
    // End the run here: the base destructor would be too late for Run().
    Terminate();
    WaitFor();
}

void TIdUDPListenerThread::Run() {
    // A socket closed under the thread leaves nothing to receive.
    if (!binding_.SocketOpen()) {
        Terminate();
        return;
    }
    if (!WaitReadable() || Stopped() || !Read(batches_[0]))
        return;
    // Hand over until nothing was read ahead; once stopped, read no more,
    // but what was read is still delivered.
    for (int next = 0; !batches_[next].Empty(); next ^= 1) {
        DeliverBatch(batches_[next], !Stopped());
        batches_[next].Clear();
    }
}

bool TIdUDPListenerThread::Read(TIdDatagramBatch& batch) {
    try {
        batch.Prepare(server_.BufferSize.load());
        return GStack().ReceiveBatch(binding_.Handle(), batch) > 0;
    } catch (const Exception& failure) {
        DeliverException(failure.Message(), ExceptionClassName(failure));
        return false;
    }
}

bool TIdUDPListenerThread::WaitReadable() {
    try {
        return binding_.ReadSet().SelectRead(ReadWait);
    } catch (const Exception&) {
        // A wait on a socket that deactivation has just shut is no failure.
        if (Stopped())
            return false;
        throw;
    }
}

void TIdUDPListenerThread::DeliverBatch(TIdDatagramBatch& batch, bool readAhead) {
    if (!server_.OnUDPRead && !server_.OnUDPException)
        return;
    const auto deliverAll = [this, &batch] {
        const TIdUDPServer::HandOver handOver(server_);
        for (const TIdDatagramBatch::Datagram& datagram : batch.Datagrams())
            DeliverDatagram(datagram);
    };
    if (server_.ThreadedEvent) {
        deliverAll();
        return;
    }
    if (!readAhead) {
        Synchronize(deliverAll);
        return;
    }
    TIdDatagramBatch& ahead = &batch == &batches_[0] ? batches_[1] : batches_[0];
    ahead.Prepare(server_.BufferSize.load());
    SynchronizeWhile(deliverAll, [&](int doneFd) { ReadAhead(ahead, doneFd); });
}

void TIdUDPListenerThread::ReadAhead(TIdDatagramBatch& ahead, int doneFd) {
    bool reading = true;
    for (;;) {
        reading = reading && !ahead.Full() && !Stopped();
        ws::FdSet wait{};
        wait.sockets[wait.count++] = doneFd;
        if (reading)
            wait.sockets[wait.count++] = binding_.Handle();
        if (ws::select(0, &wait, nullptr, nullptr, nullptr) == ws::WS_SOCKET_ERROR) {
            if (ws::WSAGetLastError() == ws::WSAEINTR)
                continue;
            return;
        }
        const bool done =
            std::find(wait.sockets, wait.sockets + wait.count, doneFd) != wait.sockets + wait.count;
        // What is queued when the hand-over returns still joins the next batch.
        if (reading)
            reading = ReadMore(ahead);
        if (done)
            return;
    }
}

bool TIdUDPListenerThread::ReadMore(TIdDatagramBatch& ahead) {
    try {
        // Woken with nothing to read: the socket is being shut.
        return GStack().ReceiveBatch(binding_.Handle(), ahead) > 0;
    } catch (const EIdSocketError& failure) {
        ahead.AddFailure(failure.LastError());
        return false;
    }
}

void TIdUDPListenerThread::DeliverDatagram(const TIdDatagramBatch::Datagram& datagram) {
    try {
        if (datagram.error != 0)
            TIdStack::RaiseSocketError(datagram.error);
        buffer_.clear();
        TIdDatagramBatch::CopyBytes(datagram, buffer_);
        binding_.SenderIP = datagram.ip;
        binding_.SenderPort = datagram.port;
        if (server_.OnUDPRead)
            server_.OnUDPRead(*this, buffer_, binding_);
    } catch (const Exception& failure) {
        if (server_.OnUDPException)
            server_.OnUDPException(*this, binding_, failure.Message(), ExceptionClassName(failure));
    }
}

void TIdUDPListenerThread::DeliverException(const std::string& message,
                                            const std::string& exceptionClass) {
    if (!server_.OnUDPException)
        return;
    Deliver([&] {
        const TIdUDPServer::HandOver handOver(server_);
        server_.OnUDPException(*this, binding_, message, exceptionClass);
    });
}

void TIdUDPListenerThread::Deliver(const std::function<void()>& event) {
    if (server_.ThreadedEvent)
        event();
    else
        Synchronize(event);
}

void TIdUDPListenerThread::AfterRun() {
    binding_.CloseSocket();
}
