#include "net/IdUDPServer.h"

#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPListenerThread.h"

TIdUDPServer::TIdUDPServer(std::string name) : TIdUDPBase(std::move(name)) {}

TIdUDPServer::~TIdUDPServer() {
    lifetime_.reset();
    StopListeners();
    Bindings.Clear();
}

bool TIdUDPServer::HasOpenBinding() const {
    const TIdSocketHandle* binding = currentBinding_;
    return !closing_ && !closeDeferred_ && binding != nullptr && binding->SocketOpen();
}

TIdSocketHandle& TIdUDPServer::OpenBindings() {
    // A handler ran during the endpoint's own deactivation; rebinding now
    // would close a socket its thread may still read.
    if (closing_)
        throw EIdException("Cannot activate while deactivating.");
    // Asked again before a put-off close has run: it simply does not happen.
    closeDeferred_ = false;
    if (TIdSocketHandle* binding = currentBinding_) {
        if (binding->SocketOpen())
            return *binding;
        // Its receiving thread ended on a failure and closed the socket:
        // free what is left and bind anew.
        StopListeners();
    }
    if (Bindings.Count() == 0)
        AddDefaultBindings();
    BindAll();
    if (OnAfterBind)
        OnAfterBind(*this);
    StartListenerThreads();
    currentBinding_ = &Bindings[0];
    ApplyBroadcastEnabled();
    return Bindings[0];
}

void TIdUDPServer::AddDefaultBindings() {
    Bindings.Add();
    if (GStack().SupportsIPv6())
        Bindings.Add().SetIPVersion(TIdIPVersion::Id_IPv6);
}

// Opens and binds every binding; on a failure closes the ones already bound,
// last first, and passes the failure on. The failing binding keeps its
// unbound socket until it is opened again or freed.
void TIdUDPServer::BindAll() {
    int i = 0;
    try {
        for (; i < Bindings.Count(); ++i) {
            TIdSocketHandle& binding = Bindings[i];
            binding.AllocateSocket();
            if (ReceiveBufferSize > 0)
                binding.SetReceiveBufferSize(ReceiveBufferSize);
            if (OnBeforeBind)
                OnBeforeBind(binding);
            binding.Bind();
        }
    } catch (...) {
        for (int k = i - 1; k >= 0; --k)
            Bindings[k].CloseSocket();
        throw;
    }
}

void TIdUDPServer::StartListenerThreads() {
    for (int i = 0; i < Bindings.Count(); ++i) {
        auto thread = std::make_unique<TIdUDPListenerThread>(Bindings[i], *this);
        thread->Name = Name() + " Listener #" + std::to_string(i + 1);
        thread->SetPriorityHighest();
        TIdUDPListenerThread& started = *thread;
        {
            std::lock_guard guard(listenerLock_);
            listeners_.push_back(std::move(thread));
        }
        started.Start();
    }
}

void TIdUDPServer::CloseBindings() {
    if (handOverDepth_ > 0)
        DeferClose();
    else
        StopListeners();
}

void TIdUDPServer::DeferClose() {
    if (closeDeferred_ || closing_)
        return;
    closeDeferred_ = true;
    Queue([this, alive = std::weak_ptr<int>(lifetime_)] {
        if (alive.lock() && closeDeferred_)
            StopListeners();
    });
}

void TIdUDPServer::StopListeners() {
    // A handler run during the wait below may ask for the same again.
    if (closing_)
        return;
    closing_ = true;
    closeDeferred_ = false;
    struct Done {
        TIdUDPServer& server;
        ~Done() {
            server.currentBinding_ = nullptr;
            server.closing_ = false;
        }
    } done{*this};
    for (;;) {
        TIdUDPListenerThread* thread;
        {
            std::lock_guard guard(listenerLock_);
            if (listeners_.empty())
                return;
            thread = listeners_.front().get();
        }
        thread->Stop();
        thread->Binding().ShutdownReceive();
        // Runs the thread's pending hand-over, if any.
        thread->WaitFor();
        thread->Binding().CloseSocket();
        std::lock_guard guard(listenerLock_);
        listeners_.erase(listeners_.begin());
    }
}

TIdUDPServer::HandOver::HandOver(TIdUDPServer& server)
    : server_(IsMainThread() ? &server : nullptr) {
    if (server_ != nullptr)
        ++server_->handOverDepth_;
}

TIdUDPServer::HandOver::~HandOver() {
    if (server_ != nullptr)
        --server_->handOverDepth_;
}

void TIdUDPServer::ApplyBroadcastEnabled() {
    if (currentBinding_ == nullptr)
        return;
    for (int i = 0; i < Bindings.Count(); ++i)
        Bindings[i].SetBroadcastFlag(BroadcastEnabled());
}

int TIdUDPServer::ListenerCount() const {
    std::lock_guard guard(listenerLock_);
    return static_cast<int>(listeners_.size());
}

const TIdUDPListenerThread& TIdUDPServer::Listener(int index) const {
    std::lock_guard guard(listenerLock_);
    return *listeners_.at(static_cast<size_t>(index));
}
