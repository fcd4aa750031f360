#include "net/IdException.h"
#include "net/IdSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
