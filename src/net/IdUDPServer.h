#pragma once

#include "net/IdSocketHandle.h"
#include "net/IdUDPBase.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TIdUDPListenerThread;
class TIdUDPServer;

using TIdSocketHandleEvent = std::function<void(TIdSocketHandle& handle)>;
using TNotifyEvent = std::function<void(TIdUDPServer& sender)>;
using TUDPReadEvent = std::function<void(TIdUDPListenerThread& thread, const TIdBytes& data,
                                         TIdSocketHandle& binding)>;
using TIdUDPExceptionEvent =
    std::function<void(TIdUDPListenerThread& thread, TIdSocketHandle& binding,
                       const std::string& message, const std::string& exceptionClass)>;

// A UDP endpoint with a collection of bindings. While active, each binding
// has one receiving thread that reports every datagram through OnUDPRead, in
// the UI thread unless ThreadedEvent is set.
//
// Threads: the UI thread performs every operation and property write; events
// and ThreadedEvent are set while inactive. The receiving threads read the
// events, ThreadedEvent and BufferSize. `listenerLock_` guards the list of
// receiving threads and is never held while waiting for one. The close and
// hand-over state below it is written by the UI thread alone (the flags are
// atomic so that Active may be read from a handler run with ThreadedEvent).
class TIdUDPServer : public TIdUDPBase {
public:
    explicit TIdUDPServer(std::string name = "");
    ~TIdUDPServer() override;

    TIdSocketHandles Bindings;
    std::uint16_t DefaultPort() const { return Bindings.DefaultPort; }
    void SetDefaultPort(std::uint16_t port) { Bindings.DefaultPort = port; }

    std::atomic<bool> ThreadedEvent = false;
    // The receive queue asked for each socket at activation; 0 keeps the
    // system's default. The default queue (about 200 KB) overflows when a
    // thousand devices answer one probe at once; 4 MiB holds them all.
    std::int32_t ReceiveBufferSize = 4 * 1024 * 1024;
    TIdSocketHandleEvent OnBeforeBind;
    TNotifyEvent OnAfterBind;
    TUDPReadEvent OnUDPRead;
    TIdUDPExceptionEvent OnUDPException;

    // Activates if inactive; returns the current binding.
    TIdSocketHandle& OpenBindings();
    // Stops every receiving thread and closes the sockets. Asked from inside
    // one of this endpoint's own hand-overs (an event handler), it is put off
    // until that hand-over has returned, since its thread waits for it;
    // Active reads false from the moment it is asked.
    void CloseBindings();
    void ApplyBroadcastEnabled() override;

    // The current binding: the first one while active, else none.
    TIdSocketHandle* CurrentBinding() const { return currentBinding_; }
    int ListenerCount() const;
    const TIdUDPListenerThread& Listener(int index) const;

    // Marks the time the UI thread runs a hand-over of this endpoint.
    class HandOver {
    public:
        explicit HandOver(TIdUDPServer& server);
        ~HandOver();
        HandOver(const HandOver&) = delete;
        HandOver& operator=(const HandOver&) = delete;

    private:
        TIdUDPServer* server_;
    };

protected:
    TIdSocketHandle& Binding() override { return OpenBindings(); }
    void CloseBinding() override { CloseBindings(); }
    bool HasOpenBinding() const override;

private:
    void AddDefaultBindings();
    void BindAll();
    void StartListenerThreads();
    // Stop, wake, wait for the end, and only then close: the socket must not
    // be closed, and its number reused, while its thread may still read it.
    void StopListeners();
    void DeferClose();

    std::atomic<TIdSocketHandle*> currentBinding_ = nullptr;
    int handOverDepth_ = 0;
    std::atomic<bool> closing_ = false;
    std::atomic<bool> closeDeferred_ = false;
    // Lets a put-off close find out whether the endpoint still exists.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    mutable std::mutex listenerLock_;
    std::vector<std::unique_ptr<TIdUDPListenerThread>> listeners_;
};
