#include "net/IdException.h"
#include "net/IdSync.h"
#include "net/IdUDPListenerThread.h"
#include "net/IdUDPServer.h"
#include "support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct Read {
    TIdBytes data;
    std::string senderIP;
    std::uint16_t senderPort;
    bool onMainThread;
    bool active;
    int listeners;
};

struct Failure {
    std::string message;
    std::string exceptionClass;
};

// An active endpoint on 127.0.0.1 that records what its events see. The test
// body is the UI thread: it pumps the hand-over with Pump.
class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TIdSocketHandle& binding = server.Bindings.Add();
        binding.IP = "127.0.0.1";
        server.OnUDPRead = [this](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& b) {
            reads.push_back({data, b.SenderIP, b.SenderPort, IsMainThread(), server.Active(),
                             server.ListenerCount()});
            if (failNextRead) {
                failNextRead = false;
                throw EIdException("handler failed");
            }
        };
        server.OnUDPException = [this](TIdUDPListenerThread&, TIdSocketHandle&,
                                       const std::string& message, const std::string& cls) {
            failures.push_back({message, cls});
        };
    }

    void Activate() {
        server.SetActive(true);
        port = server.Bindings[0].Port;
    }

    // A handler failure whose report fails too: that ends the receiving thread.
    void EndTheThreadWithAFailure() {
        server.OnUDPException = [](TIdUDPListenerThread&, TIdSocketHandle&, const std::string&,
                                   const std::string&) { throw EIdException("no way"); };
        failNextRead = true;
        Activate();
        LoopbackPeer device;
        device.SendTo(port, {1});
        const TIdUDPListenerThread& listener = server.Listener(0);
        WaitRunningSyncCalls([&] { return listener.Finished(); }, 5s);
    }

    // Activates, and sends `datagrams` so that the receiving thread finds
    // them all queued at once: a first datagram holds the thread in its
    // hand-over while the rest go out. Deactivates again and returns the
    // number of hand-overs it took to deliver all.
    int SendAsOneBatch(const LoopbackPeer& opener,
                       const std::vector<std::pair<const LoopbackPeer*, TIdBytes>>& datagrams) {
        std::atomic<int> handOvers = 0;
        SetWakeMainThread([&] { ++handOvers; });
        Activate();
        opener.SendTo(port, {'0'});
        for (int i = 0; i < 5000 && handOvers == 0; ++i)
            std::this_thread::sleep_for(1ms);
        for (const auto& [peer, data] : datagrams)
            peer->SendTo(port, data);
        Pump(1 + datagrams.size());
        // Once the thread has ended it calls the hook no more.
        server.SetActive(false);
        SetWakeMainThread(nullptr);
        return handOvers;
    }

    // Runs pending calls until `count` reads and failures arrived, or 5 s passed.
    void Pump(size_t count) {
        WaitRunningSyncCalls([&] { return reads.size() + failures.size() >= count; }, 5s);
    }

    TIdUDPServer server{"UDPServerTask"};
    std::uint16_t port = 0;
    std::vector<Read> reads;
    std::vector<Failure> failures;
    bool failNextRead = false;
};

} // namespace

TEST_F(ListenerTest, RepliesReachOnUDPReadOnTheUIThreadWithTheirSender) {
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {'a', 'b', 'c'});
    device.SendTo(port, {'a', 'b', 'c'});
    Pump(2);
    ASSERT_EQ(reads.size(), 2u);
    for (const Read& r : reads) {
        EXPECT_EQ(r.data, (TIdBytes{'a', 'b', 'c'}));
        EXPECT_EQ(r.senderIP, "127.0.0.1");
        EXPECT_EQ(r.senderPort, device.Port());
        EXPECT_TRUE(r.onMainThread);
        EXPECT_TRUE(r.active);
    }
    EXPECT_TRUE(failures.empty());
}

TEST_F(ListenerTest, EmptyDatagramIsDeliveredWithItsSender) {
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {});
    Pump(1);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_TRUE(reads[0].data.empty());
    EXPECT_EQ(reads[0].senderPort, device.Port());
}

TEST_F(ListenerTest, DatagramsUpToTheBufferSizeArriveWholeLongerOnesAreReported) {
    Activate();
    LoopbackPeer first, second;
    TIdBytes whole(8192);
    for (size_t i = 0; i < whole.size(); ++i)
        whole[i] = static_cast<std::uint8_t>(i * 7);
    first.SendTo(port, whole);
    Pump(1);
    second.SendTo(port, TIdBytes(8193, 0x55));
    Pump(2);
    first.SendTo(port, {1});
    Pump(3);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].data, whole);
    EXPECT_EQ(reads[1].data, TIdBytes{1});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].message, "Socket Error # 10040\r\nMessage too long.");
    EXPECT_EQ(failures[0].exceptionClass, "EIdSocketError");
    // The oversized datagram never became the last sender.
    EXPECT_EQ(server.Bindings[0].SenderPort, first.Port());
}

TEST_F(ListenerTest, SmallerBufferSizeIsReadAnewEachCycle) {
    server.BufferSize = 4;
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {1, 2, 3, 4});
    Pump(1);
    device.SendTo(port, {1, 2, 3, 4, 5});
    Pump(2);
    ASSERT_EQ(reads.size(), 1u);
    ASSERT_EQ(failures.size(), 1u);
}

TEST_F(ListenerTest, HandlerFailureIsReportedAndReceivingGoesOn) {
    Activate();
    failNextRead = true;
    LoopbackPeer device;
    device.SendTo(port, {1});
    Pump(2);
    device.SendTo(port, {2});
    Pump(3);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].message, "handler failed");
    EXPECT_EQ(failures[0].exceptionClass, "EIdException");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].data, TIdBytes{2});
    EXPECT_TRUE(server.Active());
}

TEST_F(ListenerTest, DeactivationRunsTheCallPendingForTheUIThread) {
    std::atomic<bool> queued = false;
    SetWakeMainThread([&] { queued = true; });
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {9});
    while (!queued)
        std::this_thread::sleep_for(1ms);
    // The receiving thread now blocks in its hand-over; deactivation must run
    // that call rather than wait for the thread forever.
    server.SetActive(false);
    SetWakeMainThread(nullptr);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].data, TIdBytes{9});
    EXPECT_FALSE(reads[0].active) << "the endpoint is going down when the call runs";
    EXPECT_EQ(reads[0].listeners, 1) << "the listener list stays readable meanwhile";
    EXPECT_TRUE(failures.empty()) << failures[0].message;
    EXPECT_EQ(server.ListenerCount(), 0);
    EXPECT_FALSE(server.Active());
}

TEST_F(ListenerTest, BatchKeepsOrderSendersAndEachDatagramsOwnFailure) {
    LoopbackPeer p0, p1, p2;
    const std::vector<const LoopbackPeer*> peers{&p0, &p1, &p2};
    const auto text = [](const char* s) { return TIdBytes(s, s + std::strlen(s)); };
    struct Case {
        const char* name;
        std::vector<std::pair<int, TIdBytes>> datagrams; // peer index, bytes
        std::vector<std::string> expected;               // read:BYTES:PEER or fail:MESSAGE
    };
    const std::vector<Case> cases{
        {"order and senders",
         {{1, text("a")}, {2, text("b")}, {0, text("c")}, {2, text("d")}},
         {"read:a:1", "read:b:2", "read:c:0", "read:d:2"}},
        {"over-long and empty in the batch",
         {{1, text("a")}, {2, TIdBytes(8193, 'x')}, {0, {}}, {1, text("b")}},
         {"read:a:1", "fail:Socket Error # 10040\r\nMessage too long.", "read::0", "read:b:1"}},
        {"handler failing in the middle",
         {{0, text("a")}, {1, text("throw")}, {2, text("b")}},
         {"read:a:0", "read:throw:1", "fail:handler failed", "read:b:2"}},
    };
    std::vector<std::string> log;
    const auto peerOf = [&](std::uint16_t p) {
        for (size_t i = 0; i < peers.size(); ++i)
            if (peers[i]->Port() == p)
                return std::to_string(i);
        return std::string("?");
    };
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes& data, TIdSocketHandle& b) {
        reads.push_back({});
        log.push_back("read:" + std::string(data.begin(), data.end()) + ":" + peerOf(b.SenderPort));
        if (log.back().starts_with("read:throw"))
            throw EIdException("handler failed");
    };
    server.OnUDPException = [&](TIdUDPListenerThread&, TIdSocketHandle&, const std::string& m,
                                const std::string&) {
        failures.push_back({m, ""});
        log.push_back("fail:" + m);
    };
    for (const Case& c : cases) {
        log.clear();
        std::vector<std::pair<const LoopbackPeer*, TIdBytes>> datagrams;
        for (const auto& [peer, bytes] : c.datagrams)
            datagrams.emplace_back(peers[static_cast<size_t>(peer)], bytes);
        reads.clear();
        failures.clear();
        const int handOvers = SendAsOneBatch(p0, datagrams);
        std::vector<std::string> expected{"read:0:0"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(log, expected) << c.name;
        EXPECT_EQ(handOvers, 2) << c.name << ": all but the first in one hand-over";
    }
}

TEST_F(ListenerTest, SignalsDoNotEndTheReceivingThread) {
    struct sigaction quiet {
    }, previous{};
    quiet.sa_handler = [](int) {};
    sigaction(SIGUSR1, &quiet, &previous);
    Activate();
    const pthread_t listener = server.Listener(0).Handle();
    for (int i = 0; i < 200; ++i) {
        pthread_kill(listener, SIGUSR1);
        std::this_thread::sleep_for(100us);
    }
    LoopbackPeer device;
    device.SendTo(port, {7});
    Pump(1);
    sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_TRUE(failures.empty()) << failures[0].message;
    EXPECT_TRUE(server.Active());
}

TEST_F(ListenerTest, DeactivationFromInsideTheHandlerIsPutOffUntilItReturns) {
    bool activeInside = true;
    int listenersInside = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        server.SetActive(false);
        activeInside = server.Active();
        listenersInside = server.ListenerCount();
    };
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {1});
    WaitRunningSyncCalls([&] { return listenersInside == 1 && server.ListenerCount() == 0; }, 5s);
    EXPECT_FALSE(activeInside);
    EXPECT_EQ(listenersInside, 1);
    EXPECT_EQ(server.ListenerCount(), 0);
    EXPECT_FALSE(server.Bindings[0].SocketOpen());
    // Asked again before the put-off close ran, it is called off.
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        server.SetActive(false);
        server.SetActive(true);
        activeInside = server.Active();
    };
    Activate();
    device.SendTo(port, {2});
    activeInside = false;
    WaitRunningSyncCalls([&] { return activeInside; }, 5s);
    CheckSynchronize();
    EXPECT_TRUE(activeInside);
    EXPECT_TRUE(server.Active());
    EXPECT_EQ(server.ListenerCount(), 1);
}

TEST_F(ListenerTest, ReactivationAfterDeactivationReceivesAgain) {
    for (int round = 0; round < 5; ++round) {
        Activate();
        LoopbackPeer device;
        device.SendTo(port, {static_cast<std::uint8_t>(round)});
        Pump(reads.size() + 1);
        server.SetActive(false);
    }
    EXPECT_EQ(reads.size(), 5u);
}

TEST_F(ListenerTest, ThreadedEventRunsOnTheReceivingThread) {
    server.ThreadedEvent = true;
    std::atomic<int> calls = 0;
    std::atomic<bool> onMain = true;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        onMain = IsMainThread();
        ++calls;
    };
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {1});
    for (int i = 0; i < 500 && calls == 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(onMain);
}

namespace {

// How the scheduler treats the calling thread.
struct SchedAttributes {
    std::uint32_t size, policy;
    std::uint64_t flags;
    std::int32_t nice;
    std::uint32_t priority;
    std::uint64_t runtime, deadline, period;
};

SchedAttributes OwnAttributes() {
    SchedAttributes attributes{};
    syscall(SYS_sched_getattr, gettid(), &attributes, sizeof attributes, 0u);
    return attributes;
}

bool MayUseRealTime() {
    bool may = false;
    std::thread([&] {
        const sched_param level{1};
        may = pthread_setschedparam(pthread_self(), SCHED_RR, &level) == 0;
    }).join();
    return may;
}

} // namespace

// So that it is not kept waiting behind the UI thread while a burst fills
// the receive queue.
TEST_F(ListenerTest, ReceivingThreadTakesTheProcessorFirst) {
    server.ThreadedEvent = true;
    std::optional<SchedAttributes> seen;
    std::mutex seenLock;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        std::lock_guard guard(seenLock);
        seen = OwnAttributes();
    };
    Activate();
    LoopbackPeer device;
    device.SendTo(port, {1});
    const auto handled = [&] {
        std::lock_guard guard(seenLock);
        return seen.has_value();
    };
    for (int i = 0; i < 500 && !handled(); ++i)
        std::this_thread::sleep_for(10ms);
    std::lock_guard guard(seenLock);
    ASSERT_TRUE(seen);
    if (MayUseRealTime()) {
        EXPECT_EQ(seen->policy, std::uint32_t{SCHED_RR});
        EXPECT_EQ(seen->priority, 1u);
    } else {
        EXPECT_EQ(seen->policy, std::uint32_t{SCHED_OTHER});
        // The shortest slice; 0 from a kernel that takes no slice requests.
        EXPECT_TRUE(seen->runtime == 100'000 || seen->runtime == 0) << seen->runtime << " ns";
    }
}

TEST_F(ListenerTest, FailingExceptionHandlerEndsTheThreadThroughItsHook) {
    std::atomic<int> hookCalls = 0;
    TIdThread::SetExceptionHook([&](TIdThread&, const std::exception&) {
        ++hookCalls;
        return true;
    });
    EndTheThreadWithAFailure();
    TIdThread::SetExceptionHook(nullptr);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(server.Listener(0).TerminatingExceptionMessage(), "no way");
    EXPECT_EQ(server.Listener(0).TerminatingExceptionClass(), "EIdException");
    // Its socket is closed, so the endpoint reads inactive by itself.
    EXPECT_FALSE(server.Active());
    // A new activation frees the dead thread and binds anew, and so does a send.
    server.SetActive(true);
    EXPECT_TRUE(server.Active());
    EXPECT_EQ(server.ListenerCount(), 1);
    EXPECT_FALSE(server.Listener(0).Finished());
    server.SetActive(false);
    EXPECT_EQ(server.ListenerCount(), 0);
}

TEST_F(ListenerTest, DeactivatingAnEndpointWhoseThreadDiedFreesTheThread) {
    EndTheThreadWithAFailure();
    EXPECT_FALSE(server.Active());
    server.SetActive(false);
    EXPECT_EQ(server.ListenerCount(), 0);
    EXPECT_EQ(server.CurrentBinding(), nullptr);
    // The bindings may now be replaced safely.
    server.Bindings.Clear();
}

// Closing under a flood while another thread opens and closes descriptors:
// the listener must never read a closed or reused descriptor (a race the
// thread sanitizer sees, or an error 10009 or a hang here).
TEST(ListenerStress, TogglingUnderAFloodWhileDescriptorsComeAndGo) {
    TIdUDPServer server("UDPServerTask");
    server.Bindings.Add().IP = "127.0.0.1";
    std::vector<std::string> failures;
    server.OnUDPException = [&](TIdUDPListenerThread&, TIdSocketHandle&, const std::string& m,
                                const std::string&) { failures.push_back(m); };
    server.SetActive(true);
    const std::uint16_t port = server.Bindings[0].Port;
    std::atomic<bool> stop = false;
    std::thread flood([&] {
        LoopbackPeer device;
        while (!stop) {
            for (int i = 0; i < 16; ++i)
                device.SendTo(port, {1, 2, 3});
            std::this_thread::yield();
        }
    });
    std::thread churn([&] {
        while (!stop)
            ::close(::socket(AF_INET, SOCK_DGRAM, 0));
    });
    int toggles = 0;
    for (; toggles < 1000 && failures.empty(); ++toggles) {
        server.SetActive(false);
        server.SetActive(true);
    }
    stop = true;
    flood.join();
    churn.join();
    EXPECT_TRUE(failures.empty()) << failures[0] << " after " << toggles << " toggles";
    EXPECT_TRUE(server.Active());
}
