#include "cli/StopSignals.h"

#include "net/IdSync.h"

#include <pthread.h>

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

TStopSignals::TStopSignals() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
    waiter_ = std::thread([this, set] {
        int taken = 0;
        sigwait(&set, &taken);
        if (!leaving_.load())
            requested_.store(true);
        NotifySyncWaiters();
    });
}

TStopSignals::~TStopSignals() {
    if (!requested_.load()) {
        // Wakes the waiter with a signal that only it can take: blocked
        // everywhere else.
        leaving_.store(true);
        pthread_kill(waiter_.native_handle(), SIGTERM);
    }
    waiter_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}
