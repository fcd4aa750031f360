#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdUDPListenerThread.h"
#include "net/IdUDPServer.h"
#include "support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

namespace {

TIdSocketHandle& AddLoopbackBinding(TIdUDPServer& server, std::uint16_t port = 0) {
    TIdSocketHandle& binding = server.Bindings.Add();
    binding.IP = "127.0.0.1";
    binding.Port = port;
    return binding;
}

std::int32_t BroadcastOption(TIdSocketHandle& binding) {
    return GStack().GetSocketOption(binding.Handle(), ws::WS_SOL_SOCKET, ws::WS_SO_BROADCAST);
}

// A loopback port that is free right now.
std::uint16_t FreePort() {
    LoopbackPeer probe;
    return probe.Port();
}

// The first of `count` neighbouring loopback ports that are free right now;
// 0 when none was found.
std::uint16_t FreeRange(int count) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int base = FreePort();
        if (base + count > 65536)
            continue;
        std::vector<std::unique_ptr<LoopbackPeer>> held;
        for (int i = 0; i < count; ++i) {
            const auto port = static_cast<std::uint16_t>(base + i);
            held.push_back(std::make_unique<LoopbackPeer>(port));
            if (held.back()->Port() != port)
                break;
        }
        if (static_cast<int>(held.size()) == count && held.back()->Port() == base + count - 1)
            return static_cast<std::uint16_t>(base);
    }
    return 0;
}

} // namespace

TEST(UDPServerActivation, BindsReadsBackAndStartsOneNamedThread) {
    TIdUDPServer server("UDPServerTask");
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    EXPECT_FALSE(server.Active());
    server.SetActive(true);
    EXPECT_TRUE(server.Active());
    EXPECT_TRUE(binding.SocketOpen());
    EXPECT_NE(binding.Port, 0);
    EXPECT_EQ(binding.IP, "127.0.0.1");
    EXPECT_EQ(server.CurrentBinding(), &binding);
    ASSERT_EQ(server.ListenerCount(), 1);
    EXPECT_EQ(server.Listener(0).Name, "UDPServerTask Listener #1");
    // Activating again changes nothing.
    const std::uint16_t port = binding.Port;
    const TIdUDPListenerThread* thread = &server.Listener(0);
    server.SetActive(true);
    EXPECT_EQ(binding.Port, port);
    EXPECT_EQ(&server.Listener(0), thread);
    server.SetActive(false);
    EXPECT_FALSE(server.Active());
    EXPECT_FALSE(binding.SocketOpen());
    EXPECT_EQ(server.ListenerCount(), 0);
    // The binding keeps what activation read back.
    EXPECT_EQ(binding.Port, port);
}

TEST(UDPServerActivation, AsksForTheReceiveQueueBeforeBinding) {
    TIdUDPServer server;
    server.ReceiveBufferSize = 4096;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SetActive(true);
    // Linux reports twice the size asked for.
    EXPECT_EQ(GStack().GetSocketOption(binding.Handle(), ws::WS_SOL_SOCKET, ws::WS_SO_RCVBUF),
              8192);
}

TEST(UDPServerActivation, ReceiveQueuePassesTheSystemCapOnlyWhereAllowed) {
    std::ifstream rmemMax("/proc/sys/net/core/rmem_max");
    std::int64_t cap = 0;
    rmemMax >> cap;
    ASSERT_GT(cap, 0);
    // CAP_NET_ADMIN is bit 12 of the effective capabilities.
    std::ifstream status("/proc/self/status");
    std::string line;
    std::uint64_t effective = 0;
    while (std::getline(status, line))
        if (line.starts_with("CapEff:"))
            effective = std::stoull(line.substr(7), nullptr, 16);
    const bool allowed = (effective >> 12 & 1) != 0;
    TIdUDPServer server;
    server.ReceiveBufferSize = static_cast<std::int32_t>(std::min<std::int64_t>(cap * 2, 1 << 28));
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SetActive(true);
    const std::int64_t granted =
        GStack().GetSocketOption(binding.Handle(), ws::WS_SOL_SOCKET, ws::WS_SO_RCVBUF);
    if (allowed)
        EXPECT_EQ(granted, 2 * std::int64_t{server.ReceiveBufferSize});
    else
        EXPECT_EQ(granted, 2 * cap);
}

TEST(UDPServerActivation, NoBindingsMeansEveryAddressOnTheDefaultPort) {
    TIdUDPServer server;
    server.SetActive(true);
    ASSERT_GE(server.Bindings.Count(), 1);
    EXPECT_EQ(server.Bindings[0].IP, "0.0.0.0");
    EXPECT_NE(server.Bindings[0].Port, 0);
    EXPECT_EQ(server.Bindings[0].IPVersion(), TIdIPVersion::Id_IPv4);
    if (server.Bindings.Count() == 2) {
        EXPECT_EQ(server.Bindings[1].IPVersion(), TIdIPVersion::Id_IPv6);
        EXPECT_EQ(server.Bindings[1].IP, "0:0:0:0:0:0:0:0");
    }
    EXPECT_EQ(server.ListenerCount(), server.Bindings.Count());
}

TEST(UDPServerActivation, TakenPortRaisesCouldNotBindAndStaysInactive) {
    TIdUDPServer first;
    AddLoopbackBinding(first);
    first.SetActive(true);
    const std::uint16_t port = first.Bindings[0].Port;

    TIdUDPServer second;
    AddLoopbackBinding(second, port);
    try {
        second.SetActive(true);
        FAIL();
    } catch (const EIdCouldNotBindSocket& e) {
        EXPECT_EQ(e.Message(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.ListenerCount(), 0);
    EXPECT_EQ(second.Bindings[0].Port, port);
    EXPECT_THROW(second.SetActive(true), EIdCouldNotBindSocket);

    // Once the port is free, a new try succeeds.
    first.SetActive(false);
    second.SetActive(true);
    EXPECT_TRUE(second.Active());
    EXPECT_EQ(second.Bindings[0].Port, port);
}

TEST(UDPServerActivation, AddressNotOnThisHostRaisesCouldNotBind) {
    TIdUDPServer server;
    server.Bindings.Add().IP = "192.0.2.55";
    EXPECT_THROW(server.SetActive(true), EIdCouldNotBindSocket);
    EXPECT_FALSE(server.Active());
    server.Bindings[0].IP = "not an address";
    EXPECT_THROW(server.SetActive(true), EIdCouldNotBindSocket);
}

TEST(UDPServerActivation, FailureClosesTheBindingsAlreadyBound) {
    LoopbackPeer holder;
    TIdUDPServer server;
    TIdSocketHandle& good = AddLoopbackBinding(server);
    TIdSocketHandle& taken = AddLoopbackBinding(server, holder.Port());
    EXPECT_THROW(server.SetActive(true), EIdCouldNotBindSocket);
    EXPECT_FALSE(good.SocketOpen());
    // The failing binding keeps its unbound socket until opened again or freed.
    EXPECT_TRUE(taken.SocketOpen());
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.ListenerCount(), 0);
}

TEST(UDPServerPortRange, TriesFromTheTopAndKeepsTheFirstThatBinds) {
    const std::uint16_t base = FreeRange(3);
    ASSERT_NE(base, 0) << "found no three neighbouring free ports";
    LoopbackPeer top(static_cast<std::uint16_t>(base + 2));
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    binding.ClientPortMin = base;
    binding.ClientPortMax = static_cast<std::uint16_t>(base + 2);
    server.SetActive(true);
    EXPECT_EQ(binding.Port, base + 1);
}

TEST(UDPServerPortRange, ReversedRangeIsRefused) {
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    binding.ClientPortMin = 6002;
    binding.ClientPortMax = 6000;
    try {
        server.SetActive(true);
        FAIL();
    } catch (const EIdInvalidPortRange& e) {
        EXPECT_EQ(e.Message(), "Invalid Port Range (6002 - 6000)");
    }
    EXPECT_FALSE(server.Active());
}

TEST(UDPServerPortRange, NoFreePortLeavesPortAtTheMinimum) {
    const std::uint16_t min = FreeRange(2);
    ASSERT_NE(min, 0) << "found no two neighbouring free ports";
    const auto max = static_cast<std::uint16_t>(min + 1);
    LoopbackPeer low(min), high(max);
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    binding.ClientPortMin = min;
    binding.ClientPortMax = max;
    try {
        server.SetActive(true);
        FAIL();
    } catch (const EIdCanNotBindPortInRange& e) {
        EXPECT_EQ(e.Message(), "Can not bind in port range (" + std::to_string(min) + " - " +
                                   std::to_string(max) + ")");
    }
    EXPECT_EQ(binding.Port, min);
}

TEST(UDPServerSend, BroadcastSendsOnceAndPutsTheOptionBack) {
    LoopbackPeer peer;
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SetActive(true);
    EXPECT_EQ(BroadcastOption(binding), 0);
    server.SendBroadcast({1, 2, 3}, peer.Port(), "127.0.0.1");
    EXPECT_EQ(peer.Receive(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(peer.Receive(100));
    EXPECT_EQ(BroadcastOption(binding), 0);

    server.SetBroadcastEnabled(true);
    EXPECT_EQ(BroadcastOption(binding), 1);
    server.SendBroadcast({4}, peer.Port(), " 127.0.0.1 ");
    EXPECT_EQ(peer.Receive(), (std::vector<std::uint8_t>{4}));
    EXPECT_EQ(BroadcastOption(binding), 1);
}

TEST(UDPServerSend, EmptyDataSendsNothingButStillResetsTheOption) {
    LoopbackPeer peer;
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SendBroadcast({}, peer.Port(), "127.0.0.1");
    EXPECT_TRUE(server.Active()) << "sending activates an inactive endpoint";
    EXPECT_FALSE(peer.Receive(200));
    EXPECT_EQ(BroadcastOption(binding), 0);
}

TEST(UDPServerSend, PortOutOfRangeSendsNothingAndLeavesTheOptionSet) {
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SetActive(true);
    EXPECT_THROW(server.SendBroadcast({1}, 65536, "127.0.0.1"), ERangeError);
    EXPECT_THROW(server.SendBroadcast({1}, -1, "127.0.0.1"), ERangeError);
    EXPECT_EQ(BroadcastOption(binding), 1);
}

TEST(UDPServerSend, OversizedDatagramRaisesPackageSizeTooBig) {
    LoopbackPeer peer;
    TIdUDPServer server;
    AddLoopbackBinding(server);
    EXPECT_THROW(server.SendDatagram("127.0.0.1", peer.Port(), TIdBytes(70000, 0x41)),
                 EIdPackageSizeTooBig);
    server.SendDatagram("localhost", peer.Port(), TIdBytes(8192, 0x42));
    EXPECT_EQ(peer.Receive()->size(), 8192u);
}

TEST(UDPServerBinding, IPVersionIsFixedWhileTheSocketIsOpen) {
    TIdUDPServer server;
    TIdSocketHandle& binding = AddLoopbackBinding(server);
    server.SetActive(true);
    EXPECT_NO_THROW(binding.SetIPVersion(TIdIPVersion::Id_IPv4));
    EXPECT_THROW(binding.SetIPVersion(TIdIPVersion::Id_IPv6), EIdCannotSetIPVersionWhenConnected);
    server.SetActive(false);
    EXPECT_NO_THROW(binding.SetIPVersion(TIdIPVersion::Id_IPv6));
}

TEST(UDPServerBinding, NewBindingStartsOnTheDefaultPortAndCopiesAsSpecified) {
    TIdUDPServer server;
    server.SetDefaultPort(60000);
    TIdSocketHandle& a = server.Bindings.Add();
    EXPECT_EQ(a.Port, 60000);
    EXPECT_EQ(a.IP, "");
    EXPECT_FALSE(a.SocketOpen());
    a.IP = "10.1.2.3";
    a.SenderIP = "10.9.9.9";
    a.SenderPort = 6001;
    TIdSocketHandle& b = server.Bindings.Add();
    b.Assign(a);
    try {
        server.Bindings[2];
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (2)");
    }
    EXPECT_EQ(b.IP, "10.1.2.3");
    EXPECT_EQ(b.SenderIP, "10.9.9.9");
    EXPECT_EQ(b.SenderPort, 6001);
    EXPECT_EQ(b.Port, 60000);
}

TEST(UDPServerLoading, ActiveIsStoredWhileLoadingAndAppliedAfter) {
    TIdUDPServer server;
    AddLoopbackBinding(server);
    server.BeginLoading();
    server.SetActive(true);
    EXPECT_TRUE(server.Active());
    EXPECT_FALSE(server.Bindings[0].SocketOpen());
    server.Loaded();
    EXPECT_TRUE(server.Bindings[0].SocketOpen());
    EXPECT_TRUE(server.Active());
}

TEST(BytesToText, KeepsEveryByteWithSelectorOne) {
    const TIdBytes bytes = {0x61, 0x00, 0xC4, 0xE3};
    const std::string text = BytesToText(bytes, 1);
    EXPECT_EQ(text, std::string("a\0\xC4\xE3", 4));
    EXPECT_EQ(BytesToText({}, 1), "");
    EXPECT_EQ(BytesToText({0xE4, 0xBD, 0xA0}, 2), "\xC4\xE3"); // UTF-8 to code page 936
    try {
        BytesToText(bytes, 0);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "No encoding specified.");
    }
    EXPECT_THROW(BytesToText({}, 0), EIdException);
}
