#include "LabEnv.h"
#include "discovery/Probe.h"
#include "discovery/ReplyTable.h"
#include "net/IdException.h"
#include "net/IdStack.h"
#include "net/IdSync.h"
#include "net/IdUDPListenerThread.h"
#include "net/IdUDPServer.h"

#include <gtest/gtest.h>

#include <thread>

// Runs inside the network lab: the finder namespace with adapters on
// 198.51.100.0/24 (A) and 203.0.113.0/24 (B), simulated devices on each.
namespace {

using namespace std::chrono_literals;

class BroadcastLabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
    }

    // An endpoint bound to adapter A's address, port 60000, as the window binds it.
    void BindToAdapterA(TIdUDPServer& server) {
        TIdSocketHandle& binding = server.Bindings.Add();
        binding.IP = LabFinderIpA();
        binding.Port = 60000;
        server.SetActive(true);
    }
};

std::string ProbeString() {
    const auto probe = PrepareProbe();
    return std::string(probe.begin(), probe.end());
}

} // namespace

TEST_F(BroadcastLabTest, ProbeReachesOnlyTheChosenSegmentFromAddressAndPort60000) {
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "A"});
    DeviceSim segmentB(LabNsDevB(), {"--reply-text", "B"});
    TIdUDPServer server("UDPServerTask");
    BindToAdapterA(server);

    server.SendBroadcast(PrepareProbe(), 6001);

    const auto heardA = segmentA.WaitForLogLines(1, 3s);
    ASSERT_EQ(heardA.size(), 1u);
    EXPECT_EQ(heardA[0].ip, LabFinderIpA());
    EXPECT_EQ(heardA[0].port, 60000);
    EXPECT_EQ(heardA[0].bytes, ProbeString());
    EXPECT_EQ(ProbeString(), "~who has voip device?~");
    EXPECT_TRUE(segmentB.WaitForLogLines(1, 500ms).empty());
    EXPECT_EQ(GStack().GetSocketOption(server.Bindings[0].Handle(), ws::WS_SOL_SOCKET,
                                       ws::WS_SO_BROADCAST),
              0);
    // Exactly one datagram went out.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(segmentA.LogLines().size(), 1u);
}

TEST_F(BroadcastLabTest, BlankHostMeansTheLimitedBroadcast) {
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "A"});
    TIdUDPServer server;
    BindToAdapterA(server);
    server.SendBroadcast(PrepareProbe(), 6001, "  ");
    EXPECT_EQ(segmentA.WaitForLogLines(1, 3s).size(), 1u);
}

TEST_F(BroadcastLabTest, SecondEndpointOnTheSameAddressAndPortCannotBind) {
    TIdUDPServer first, second;
    BindToAdapterA(first);
    try {
        BindToAdapterA(second);
        FAIL();
    } catch (const EIdCouldNotBindSocket& e) {
        EXPECT_EQ(e.Message(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(second.Active());
    EXPECT_TRUE(first.Active());
}

TEST_F(BroadcastLabTest, RepliesArriveOnTheUIThreadWithTheDevicesAddressAndPort) {
    DeviceSim segmentA(LabNsDevA(), {"--reply-text", "设备\n第二行", "--replies", "2"});
    TIdUDPServer server("UDPServerTask");
    struct Reply {
        TIdBytes data;
        std::string ip;
        std::uint16_t port;
        bool onMainThread;
    };
    std::vector<Reply> replies;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& b) {
        replies.push_back({data, b.SenderIP, b.SenderPort, IsMainThread()});
    };
    BindToAdapterA(server);
    server.SendBroadcast(PrepareProbe(), 6001);
    WaitRunningSyncCalls([&] { return replies.size() >= 2; }, 5s);
    ASSERT_EQ(replies.size(), 2u);
    for (const Reply& r : replies) {
        EXPECT_EQ(r.ip, LabDevIpA());
        EXPECT_EQ(r.port, 6001);
        EXPECT_TRUE(r.onMainThread);
        EXPECT_EQ(BytesToText(r.data, 1), "\xC9\xE8\xB1\xB8\n\xB5\xDA\xB6\xFE\xD0\xD0");
    }
}

// A dense segment answering one probe within 20 ms, with the receive queue at
// the usual system cap (212992 bytes): every reply is recorded, and a reply
// past the table's 1000 is counted but never recorded. A receive path that
// cannot keep up loses part of every such burst; a loaded machine that keeps
// the receiving thread off the processor for some milliseconds may spoil one
// now and then. So each case has three bursts and passes when one arrives whole.
TEST_F(BroadcastLabTest, BurstOfRepliesIsRecordedWholeWithAQueueAtTheUsualCap) {
#if defined(__SANITIZE_THREAD__)
    // Slowed many times over, the receiving thread cannot keep up with 1000
    // replies in 20 ms; this measures speed, which only the other builds show.
    GTEST_SKIP() << "a timing test: the thread sanitizer slows the receiving thread too much";
#endif
    LabAddAddresses(LabNsDevA(), "eth0", "198.18.0.1", 1001);
    for (const int devices : {1000, 1001}) {
        std::string counts;
        int read = 0;
        for (int burst = 0; burst < 3 && read != devices; ++burst) {
            DeviceSim segmentA(LabNsDevA(), {"--devices", std::to_string(devices), "--first-ip",
                                             "198.18.0.1", "--spread", "20", "--reply-text",
                                             "型号: IP话机 X3\n固件: 2.1.7\n状态: 在线"});
            TIdUDPServer server("UDPServerTask");
            server.ReceiveBufferSize = 212992;
            TReplyTable table;
            read = 0;
            server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes& data,
                                   TIdSocketHandle& b) {
                ++read;
                table.Record(b.SenderIP, b.SenderPort, BytesToText(data, 1));
            };
            BindToAdapterA(server);
            server.SendBroadcast(PrepareProbe(), 6001);
            // Generous, for a busy machine: the test waits for the count, not a time.
            WaitRunningSyncCalls([&] { return read >= devices; }, 10s);
            counts += " " + std::to_string(read);
            EXPECT_EQ(table.NextIndex(), std::min(read, 1000));
        }
        EXPECT_EQ(read, devices) << devices << " devices, recorded per burst:" << counts;
    }
}
