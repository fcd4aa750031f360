#pragma once

#include "net/IdComponent.h"
#include "net/IdGlobal.h"

#include <atomic>
#include <cstdint>
#include <string>

class TIdSocketHandle;

// What every UDP endpoint shares: its properties, the Active switch with its
// loading rule, and sending. All of it runs in the UI thread, except that
// receiving threads read BufferSize.
class TIdUDPBase : public TIdComponent {
public:
    using TIdComponent::TIdComponent;

    std::atomic<std::int32_t> BufferSize = 8192;
    TIdIPVersion IPVersion = TIdIPVersion::Id_IPv4;

    bool Active() const;
    void SetActive(bool active);

    bool BroadcastEnabled() const { return broadcastEnabled_; }
    void SetBroadcastEnabled(bool enabled);
    // Sets every binding's broadcast option to BroadcastEnabled, while active.
    virtual void ApplyBroadcastEnabled() = 0;

    // One broadcast datagram; an empty or blank host means 255.255.255.255.
    void SendBroadcast(const TIdBytes& data, int port, const std::string& host = "");
    // One datagram from the current binding; empty data sends nothing.
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data);

    void Loaded() override;

protected:
    // The current binding, activating the endpoint first when it is inactive.
    virtual TIdSocketHandle& Binding() = 0;
    virtual void CloseBinding() = 0;
    // True while the current binding is set and holds an open socket.
    virtual bool HasOpenBinding() const = 0;

private:
    bool broadcastEnabled_ = false;
    bool activeWhileLoading_ = false;
};
