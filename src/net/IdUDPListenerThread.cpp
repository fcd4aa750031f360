#include "net/IdUDPListenerThread.h"

#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"
#include "platform/Exception.h"

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
    if (!WaitReadable() || Stopped())
        return;
    try {
        batch_.Prepare(server_.BufferSize.load());
        if (GStack().ReceiveBatch(binding_.Handle(), batch_) == 0)
            return;
    } catch (const Exception& failure) {
        DeliverException(failure.Message(), ExceptionClassName(failure));
        return;
    }
    DeliverBatch();
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

void TIdUDPListenerThread::DeliverBatch() {
    if (!server_.OnUDPRead && !server_.OnUDPException)
        return;
    Deliver([this] {
        const TIdUDPServer::HandOver handOver(server_);
        for (const TIdDatagramBatch::Datagram& datagram : batch_.Datagrams())
            DeliverDatagram(datagram);
    });
}

void TIdUDPListenerThread::DeliverDatagram(const TIdDatagramBatch::Datagram& datagram) {
    try {
        if (datagram.error != 0)
            TIdStack::RaiseSocketError(datagram.error);
        buffer_.assign(datagram.data, datagram.data + datagram.length);
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
