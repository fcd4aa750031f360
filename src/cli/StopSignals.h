#pragma once

#include <atomic>
#include <csignal>
#include <thread>

// SIGINT and SIGTERM as a request to stop, for a command that runs until
// interrupted. While an object lives the two signals are blocked in the
// creating thread, and so in every thread started after it, and a thread of
// its own takes them with sigwait: it sets the flag and wakes the UI thread's
// wait (NotifySyncWaiters). Create it before the threads that must not take
// the signals. The destructor restores the signal mask.
class TStopSignals {
public:
    TStopSignals();
    ~TStopSignals();
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // Read by the UI thread, set by the signal thread.
    bool Requested() const { return requested_.load(); }

private:
    sigset_t previous_{};
    std::atomic<bool> requested_{false};
    std::atomic<bool> leaving_{false}; // the destructor woke the signal thread
    std::thread waiter_;
};
