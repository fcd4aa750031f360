#pragma once

#include "callstack/ThreadsList.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

// A worker thread that repeats its run step until it is stopped. It is created
// suspended and stopped; Start lets it run. Stopping also terminates it (the
// only stop mode this system uses). `lock_` guards the stopped and terminated
// flags, which the worker reads before each step and any thread may write.
class TIdThread {
public:
    // Called on the worker when a failure ends the thread, before the
    // thread's own handling; the crash reporting installs it. It returns
    // whether the thread's own handling (OnException) runs too; unset, it does.
    using ExceptionHook = std::function<bool(TIdThread&, const std::exception&)>;
    static void SetExceptionHook(ExceptionHook hook);
    // Where DoException lives in the running program, so the crash reporting
    // can check that its configuration belongs to this build.
    static std::uintptr_t DoExceptionAddress();

    TIdThread();
    virtual ~TIdThread();
    TIdThread(const TIdThread&) = delete;
    TIdThread& operator=(const TIdThread&) = delete;

    void Start();
    void Stop();
    void Terminate();
    bool Stopped() const;
    bool Finished() const { return finished_; }
    // Waits until the thread has ended. In the UI thread the wait runs pending
    // synchronised calls, so a worker blocked in one cannot deadlock it.
    void WaitFor();

    // The system's handle of the running thread, for signalling it.
    pthread_t Handle() const {
        std::lock_guard guard(lock_);
        return handle_;
    }

    // Names longer than the system allows are kept whole here. Set before Start.
    std::string Name;
    // The thread's own exception event, run on the worker when a failure ends
    // the thread; this system leaves it unset. Set before Start.
    std::function<void(TIdThread&, const std::exception&)> OnException;
    // Highest priority is best effort: the lowest real-time level where the
    // process may, else two steps above normal, else the normal priority;
    // without the real-time level it asks for the shortest time slices.
    void SetPriorityHighest();

    // What ended the thread, when a failure did.
    const std::string& TerminatingExceptionClass() const { return terminatingClass_; }
    const std::string& TerminatingExceptionMessage() const { return terminatingMessage_; }

protected:
    virtual void Run() = 0;
    virtual void AfterRun() {}

private:
    void Execute();
    void ApplyNameAndPriority();
    void DoException(const std::exception& failure);

    mutable std::mutex lock_;
    bool stopped_ = true;
    bool terminated_ = false;
    bool started_ = false;
    bool highestPriority_ = false;
    std::atomic<bool> finished_ = false;
    TThreadCreator creator_; // who started the thread, for crash reports
    std::string terminatingClass_;
    std::string terminatingMessage_;
    std::thread thread_;
    pthread_t handle_{};
};
