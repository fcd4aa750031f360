#include "net/IdUDPListenerThread.h"

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
    if (!WaitReadable())
        return;
    try {
        if (Stopped())
            return;
        ReceiveAndDeliver();
    } catch (const Exception& failure) {
        DeliverException(failure.Message(), ExceptionClassName(failure));
    }
}

bool TIdUDPListenerThread::WaitReadable() {
    try {
        return binding_.ReadSet().SelectRead(ReadWait);
    } catch (const Exception&) {
        // A wait on a socket that deactivation has just closed is no failure.
        if (Stopped())
            return false;
        throw;
    }
}

void TIdUDPListenerThread::ReceiveAndDeliver() {
    buffer_.resize(static_cast<size_t>(std::max(0, server_.BufferSize.load())));
    std::string ip;
    std::uint16_t port = 0;
    const int received =
        GStack().ReceiveFrom(binding_.Handle(), buffer_, ip, port, binding_.IPVersion());
    buffer_.resize(static_cast<size_t>(received));
    binding_.SenderIP = ip;
    binding_.SenderPort = port;
    DeliverRead();
}

void TIdUDPListenerThread::DeliverRead() {
    if (!server_.OnUDPRead)
        return;
    Deliver([this] { server_.OnUDPRead(*this, buffer_, binding_); });
}

void TIdUDPListenerThread::DeliverException(const std::string& message,
                                            const std::string& exceptionClass) {
    if (!server_.OnUDPException)
        return;
    Deliver([&] { server_.OnUDPException(*this, binding_, message, exceptionClass); });
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
