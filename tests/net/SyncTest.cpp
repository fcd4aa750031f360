#include "callstack/ThrowSite.h"
#include "net/IdException.h"
#include "net/IdSync.h"
#include "net/IdUDPServer.h"
#include "support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;

TEST(Synchronize, FromTheUIThreadRunsAtOnce) {
    bool ran = false;
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(CheckSynchronize());
}

TEST(Synchronize, WorkerCallRunsOnTheUIThreadAndWaitsForIt) {
    std::atomic<bool> woken = false;
    SetWakeMainThread([&] { woken = true; });
    std::atomic<bool> returned = false;
    bool ranOnMain = false;
    std::thread worker([&] {
        Synchronize([&] { ranOnMain = IsMainThread(); });
        returned = true;
        NotifySyncWaiters();
    });
    while (!woken)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned) << "the worker waits until the UI thread runs its call";
    WaitRunningSyncCalls([&] { return returned.load(); }, 5s);
    worker.join();
    SetWakeMainThread(nullptr);
    EXPECT_TRUE(ranOnMain);
}

TEST(Synchronize, FailureIsRaisedAgainInTheWorker) {
    std::string caught;
    std::thread worker([&] {
        try {
            Synchronize([] { throw EIdSocketError("boom", 10054); });
        } catch (const EIdSocketError& e) {
            caught = e.Message() + " " + std::to_string(e.LastError());
        }
    });
    WaitRunningSyncCalls([&] { return false; }, 300ms);
    worker.join();
    EXPECT_EQ(caught, "boom 10054");
}

TEST(Synchronize, OnlyTheUIThreadRunsTheQueue) {
    std::atomic<bool> otherRan = true;
    std::thread other([&] { otherRan = CheckSynchronize(); });
    other.join();
    EXPECT_FALSE(otherRan);
}

TEST(Synchronize, CallsFromManyWorkersAllRunOnce) {
    std::atomic<int> finished = 0;
    int runs = 0;
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i)
        workers.emplace_back([&] {
            for (int k = 0; k < 50; ++k)
                Synchronize([&] { ++runs; });
            ++finished;
            NotifySyncWaiters();
        });
    WaitRunningSyncCalls([&] { return finished == 8; }, 10s);
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(runs, 400);
}

TEST(Synchronize, QueuedCallRunsLaterOnTheUIThreadAndItsFailureSurfaces) {
    bool ranOnMain = false;
    std::thread worker([&] { Queue([&] { ranOnMain = IsMainThread(); }); });
    worker.join();
    EXPECT_FALSE(ranOnMain) << "queuing does not wait";
    EXPECT_TRUE(CheckSynchronize());
    EXPECT_TRUE(ranOnMain);
    bool laterRan = false;
    Queue([] { throw EIdException("late"); });
    Queue([&] { laterRan = true; });
    EXPECT_THROW(CheckSynchronize(), EIdException);
    EXPECT_TRUE(laterRan) << "a failing call does not hold back the others";
}

namespace {

long VoluntarySwitches() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

} // namespace

// A receiving thread of higher priority, woken on the same processor by its
// call's completion, runs at once; it must not then find the hand-over's lock
// still held by the UI thread, or it waits while other threads take the
// processor from the UI thread.
TEST(Synchronize, WokenCallerFindsTheHandOverFree) {
    cpu_set_t all;
    pthread_getaffinity_np(pthread_self(), sizeof all, &all);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    std::atomic<bool> mayUseRealTime = true;
    long waits = -1;
    std::thread caller([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        const sched_param level{1};
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &level) != 0) {
            mayUseRealTime = false;
            return;
        }
        SynchronizeWhile([] {},
                         [&](int doneFd) {
                             pollfd completion{doneFd, POLLIN, 0};
                             poll(&completion, 1, -1);
                             const long before = VoluntarySwitches();
                             IsMainThread(); // takes the hand-over's lock
                             waits = VoluntarySwitches() - before;
                         });
    });
    while (mayUseRealTime && !CheckSynchronize())
        std::this_thread::yield();
    caller.join();
    pthread_setaffinity_np(pthread_self(), sizeof all, &all);
    if (!mayUseRealTime)
        GTEST_SKIP() << "needs the right to a real-time policy";
    EXPECT_EQ(waits, 0);
}

TEST(Synchronize, FailureRaisedAgainKeepsItsThrowSite) {
    std::uintptr_t foundAt = 0;
    std::thread worker([&] {
        try {
            Synchronize([] { throw EIdException("in the handler"); });
        } catch (const EIdException& e) {
            if (const TThrowSite* site = FindThrowSite(dynamic_cast<const void*>(&e)))
                foundAt = site->Address;
        }
    });
    WaitRunningSyncCalls([&] { return false; }, 300ms);
    worker.join();
    EXPECT_EQ(foundAt, LastThrowSite()->Address) << "the UI thread's throw";
}

TEST(Synchronize, WhileWorkFailsTheCallerStillWaitsForItsCall) {
    std::atomic<bool> queued = false, ran = false, ranBeforeReturn = false;
    std::thread worker([&] {
        try {
            SynchronizeWhile([&] { ran = true; },
                             [&](int) { queued = true, throw EIdException("x"); });
        } catch (const EIdException&) {
            ranBeforeReturn = ran.load();
        }
    });
    while (!queued)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    WaitRunningSyncCalls([&] { return ran.load(); }, 5s);
    worker.join();
    EXPECT_TRUE(ranBeforeReturn);
}

// With a slow pump the put-off close waits for the receiving thread while
// that thread's next hand-over sits queued behind it; a deadlock ends the
// process on the alarm.
TEST(Synchronize, CloseFromAReadHandlerDuringABurstDoesNotDeadlock) {
    alarm(30);
    TIdUDPServer server{"UDPServerTask"};
    server.Bindings.Add().IP = "127.0.0.1";
    int reads = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) {
        ++reads;
        server.SetActive(false);
    };
    server.SetActive(true);
    std::thread burst([port = server.Bindings[0].Port] {
        const LoopbackPeer device;
        for (int i = 0; i < 40; ++i) {
            device.SendTo(port, {static_cast<std::uint8_t>(i)});
            std::this_thread::sleep_for(500us);
        }
    });
    while (reads == 0 || server.ListenerCount() > 0) {
        CheckSynchronize();
        std::this_thread::sleep_for(5ms);
    }
    burst.join();
    alarm(0);
}
