#include "net/IdUDPBase.h"

#include "net/IdSocketHandle.h"
#include "net/IdStack.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

bool TIdUDPBase::Active() const {
    if (IsLoading())
        return activeWhileLoading_;
    return HasOpenBinding();
}

void TIdUDPBase::SetActive(bool active) {
    if (IsLoading()) {
        activeWhileLoading_ = active;
        return;
    }
    if (active == Active() && active)
        return;
    // Deactivating also when Active already reads false: a receiving thread
    // that ended on a failure has closed its socket but must still be freed
    // before its binding may go.
    if (active)
        Binding();
    else
        CloseBinding();
}

void TIdUDPBase::Loaded() {
    TIdComponent::Loaded();
    const bool active = activeWhileLoading_;
    activeWhileLoading_ = false;
    SetActive(active);
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
    if (enabled == broadcastEnabled_)
        return;
    broadcastEnabled_ = enabled;
    if (Active())
        ApplyBroadcastEnabled();
}

void TIdUDPBase::SendBroadcast(const TIdBytes& data, int port, const std::string& host) {
    std::string target = Trim(host);
    if (target.empty())
        target = "255.255.255.255";
    // The option stays set when the send fails; the next completed
    // broadcast or deactivation puts it back.
    Binding().SetBroadcastFlag(true);
    if (port < 0 || port > 65535)
        throw ERangeError();
    SendDatagram(target, static_cast<std::uint16_t>(port), data);
    ApplyBroadcastEnabled();
}

void TIdUDPBase::SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) {
    const std::string ip = GStack().ResolveAddress(host, IPVersion);
    TIdSocketHandle& binding = Binding();
    if (data.empty())
        return;
    GStack().SendTo(binding.Handle(), data, 0, -1, ip, port, IPVersion);
}
