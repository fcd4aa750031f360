#include "net/IdSync.h"

#include "callstack/ThrowSite.h"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// One queued call and what its caller waits for.
struct SyncRequest {
    std::function<void()> method;
    std::exception_ptr failure;
    bool done = false;
    // Nobody waits for a queued call: the queue owns it.
    bool queued = false;
    // Made readable when the call has run, when the caller waits on it.
    int doneFd = -1;
    // Where `failure` was thrown, on the UI thread: the caller raises it
    // again, and a report of it there names the real throw site.
    std::optional<TThrowSite> site;
    // Its place in the order of queuing, set under the hand-over lock.
    std::uint64_t serial = 0;
};

void RecordFailure(SyncRequest& request) {
    request.failure = std::current_exception();
    try {
        throw;
    } catch (const std::exception& failure) {
        if (const TThrowSite* site = FindThrowSite(dynamic_cast<const void*>(&failure)))
            request.site = *site;
    } catch (...) {
    }
}

// The caller's own completion descriptor, made once per thread.
class DoneEvent {
public:
    DoneEvent() : fd_(eventfd(0, EFD_CLOEXEC)) {
        if (fd_ < 0)
            throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~DoneEvent() { close(fd_); }
    DoneEvent(const DoneEvent&) = delete;
    DoneEvent& operator=(const DoneEvent&) = delete;
    int Fd() const { return fd_; }
    void Reset() const {
        std::uint64_t count;
        while (read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }

private:
    int fd_;
};

void SignalDone(int fd) {
    const std::uint64_t one = 1;
    while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

// The process-wide hand-over state; `lock` guards everything in it.
struct SyncState {
    std::mutex lock;
    std::deque<SyncRequest*> queue;
    // How many calls were ever queued; numbers each new one.
    std::uint64_t queuedCount = 0;
    // Signalled when a call is queued, a call has run, or a waited-for
    // condition changed.
    std::condition_variable changed;
    std::function<void()> wake;
    std::thread::id mainThread = std::this_thread::get_id();
};

SyncState& State() {
    static SyncState state;
    return state;
}

// Make sure the main thread is recorded at start-up, on the thread that runs
// static initialisation.
[[maybe_unused]] const bool mainThreadRecorded = (State(), true);

} // namespace

bool IsMainThread() {
    SyncState& s = State();
    std::lock_guard guard(s.lock);
    return std::this_thread::get_id() == s.mainThread;
}

void SetMainThread() {
    SyncState& s = State();
    std::lock_guard guard(s.lock);
    s.mainThread = std::this_thread::get_id();
}

void SetWakeMainThread(std::function<void()> wake) {
    SyncState& s = State();
    std::lock_guard guard(s.lock);
    s.wake = std::move(wake);
}

void Synchronize(const std::function<void()>& method) {
    SynchronizeWhile(method, [](int) {});
}

void SynchronizeWhile(const std::function<void()>& method,
                      const std::function<void(int doneFd)>& meanwhile) {
    if (IsMainThread()) {
        method();
        return;
    }
    thread_local DoneEvent done;
    SyncState& s = State();
    SyncRequest request{method, nullptr, false, false, done.Fd(), std::nullopt};
    std::function<void()> wake;
    {
        std::lock_guard guard(s.lock);
        request.serial = ++s.queuedCount;
        s.queue.push_back(&request);
        wake = s.wake;
    }
    s.changed.notify_all();
    if (wake)
        wake();
    // The request lives in this frame: whatever `meanwhile` does, this
    // returns only after the UI thread has finished with it.
    std::exception_ptr meanwhileFailure;
    try {
        meanwhile(done.Fd());
    } catch (...) {
        meanwhileFailure = std::current_exception();
    }
    std::unique_lock guard(s.lock);
    s.changed.wait(guard, [&] { return request.done; });
    guard.unlock();
    // The signal may follow the flag by a moment; the read waits for it.
    done.Reset();
    // The call's own failure comes first: it is what the caller hands over.
    if (request.failure) {
        if (request.site)
            AdoptThrowSite(*request.site);
        std::rethrow_exception(request.failure);
    }
    if (meanwhileFailure)
        std::rethrow_exception(meanwhileFailure);
}

void Queue(std::function<void()> method) {
    SyncState& s = State();
    std::function<void()> wake;
    {
        std::lock_guard guard(s.lock);
        s.queue.push_back(new SyncRequest{std::move(method), nullptr, false, true, -1, std::nullopt,
                                          ++s.queuedCount});
        wake = s.wake;
    }
    s.changed.notify_all();
    if (wake)
        wake();
}

bool CheckSynchronize() {
    SyncState& s = State();
    std::unique_lock guard(s.lock);
    if (std::this_thread::get_id() != s.mainThread)
        return false;
    // Calls are taken from the shared queue one at a time, never into a
    // private list: a call may wait for a thread whose own call is queued
    // behind it, and the pass nested in that wait must find that call. Only
    // the calls queued before this pass began run in it, so a worker that
    // queues again at once cannot keep it going.
    const std::uint64_t last = s.queuedCount;
    bool ran = false;
    std::exception_ptr queuedFailure;
    while (!s.queue.empty() && s.queue.front()->serial <= last) {
        SyncRequest* request = s.queue.front();
        s.queue.pop_front();
        ran = true;
        guard.unlock();
        try {
            request->method();
        } catch (...) {
            RecordFailure(*request);
        }
        if (request->queued) {
            if (!queuedFailure)
                queuedFailure = request->failure;
            delete request;
            guard.lock();
            continue;
        }
        guard.lock();
        request->done = true;
        const int doneFd = request->doneFd;
        // The caller is told with the lock released: a receiving thread of
        // higher priority runs the moment it is woken, and would otherwise
        // wait for this lock while this thread waits for the processor.
        // Its completion descriptor lives until it has read the signal.
        guard.unlock();
        if (doneFd >= 0)
            SignalDone(doneFd);
        s.changed.notify_all();
        guard.lock();
    }
    guard.unlock();
    if (queuedFailure)
        std::rethrow_exception(queuedFailure);
    return ran;
}

bool WaitRunningSyncCalls(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    SyncState& s = State();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock guard(s.lock);
    while (!done()) {
        if (!s.queue.empty()) {
            guard.unlock();
            CheckSynchronize();
            guard.lock();
            continue;
        }
        if (s.changed.wait_until(guard, deadline) == std::cv_status::timeout)
            return done();
    }
    return true;
}

void NotifySyncWaiters() {
    SyncState& s = State();
    { std::lock_guard guard(s.lock); }
    s.changed.notify_all();
}
