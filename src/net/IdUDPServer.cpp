#include "net/IdUDPServer.h"

#include "net/IdStack.h"
#include "net/IdUDPListenerThread.h"

TIdUDPServer::TIdUDPServer(std::string name) : TIdUDPBase(std::move(name)) {}

TIdUDPServer::~TIdUDPServer() {
    CloseBindings();
    Bindings.Clear();
}

bool TIdUDPServer::HasOpenBinding() const {
    const TIdSocketHandle* binding = currentBinding_;
    return binding != nullptr && binding->SocketOpen();
}

TIdSocketHandle& TIdUDPServer::OpenBindings() {
    if (TIdSocketHandle* binding = currentBinding_) {
        if (binding->SocketOpen())
            return *binding;
        // Its receiving thread ended on a failure and closed the socket:
        // free what is left and bind anew.
        CloseBindings();
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
    {
        std::lock_guard guard(listenerLock_);
        while (!listeners_.empty()) {
            TIdUDPListenerThread& thread = *listeners_.front();
            thread.Stop();
            thread.Binding().CloseSocket();
            // Runs the thread's pending synchronised call, if any.
            thread.WaitFor();
            listeners_.erase(listeners_.begin());
        }
    }
    currentBinding_ = nullptr;
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
