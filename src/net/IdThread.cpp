#include "net/IdThread.h"

#include "net/IdSync.h"

#include "net/IdGlobal.h"
#include "platform/UnknownException.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Asks the scheduler for short time slices at the thread's present priority:
// on kernels that take the request, a thread that sleeps most of the time
// then gets the processor as soon as it wakes, instead of after a busy
// thread's slice. Kernels that do not know the request ignore it.
void RequestShortSlices() {
    // The system call's argument; the C library has no declaration of it.
    struct {
        std::uint32_t size;
        std::uint32_t sched_policy;
        std::uint64_t sched_flags;
        std::int32_t sched_nice;
        std::uint32_t sched_priority;
        std::uint64_t sched_runtime, sched_deadline, sched_period;
    } attributes{};
    const auto thread = static_cast<pid_t>(gettid());
    attributes.size = sizeof attributes;
    attributes.sched_policy = SCHED_OTHER;
    attributes.sched_nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    attributes.sched_runtime = 100'000; // nanoseconds: the shortest slice there is
    syscall(SYS_sched_setattr, thread, &attributes, 0u);
}

// Installed once at start-up by the crash reporting, read by ending threads.
std::mutex hookLock;
TIdThread::ExceptionHook exceptionHook;

std::string Demangled(const char* mangled) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? name.get() : mangled;
}

} // namespace

void TIdThread::SetExceptionHook(ExceptionHook hook) {
    std::lock_guard guard(hookLock);
    exceptionHook = std::move(hook);
}

std::uintptr_t TIdThread::DoExceptionAddress() {
    // A pointer to a non-virtual member function starts with the function's
    // address.
    const auto routine = &TIdThread::DoException;
    std::uintptr_t address = 0;
    std::memcpy(&address, &routine, sizeof address);
    return address;
}

TIdThread::TIdThread() = default;

TIdThread::~TIdThread() {
    Terminate();
    WaitFor();
}

void TIdThread::Start() {
    std::lock_guard guard(lock_);
    if (!stopped_)
        return;
    stopped_ = terminated_;
    if (!started_) {
        started_ = true;
        creator_ = TThreadsList::Instance().CurrentCreator();
        thread_ = std::thread(&TIdThread::Execute, this);
        handle_ = thread_.native_handle();
    }
}

void TIdThread::Stop() {
    std::lock_guard guard(lock_);
    stopped_ = true;
    terminated_ = true;
}

void TIdThread::Terminate() {
    std::lock_guard guard(lock_);
    terminated_ = true;
}

bool TIdThread::Stopped() const {
    std::lock_guard guard(lock_);
    return terminated_ || stopped_;
}

void TIdThread::WaitFor() {
    if (!thread_.joinable())
        return;
    if (IsMainThread()) {
        while (!WaitRunningSyncCalls([this] { return finished_.load(); },
                                     std::chrono::milliseconds(1000))) {
        }
    }
    thread_.join();
}

void TIdThread::SetPriorityHighest() {
    std::lock_guard guard(lock_);
    highestPriority_ = true;
}

void TIdThread::ApplyNameAndPriority() {
    std::lock_guard guard(lock_);
    // The system keeps at most 15 characters of a thread's name.
    pthread_setname_np(pthread_self(), Name.substr(0, 15).c_str());
    if (!highestPriority_)
        return;
    // A thread of higher priority must take the processor from a busy one the
    // moment it wakes, or a burst of replies overflows the receive queue
    // while it waits. Only the real-time policies preempt that strictly; the
    // lowest real-time level is enough, as no other thread of ours uses one.
    const sched_param lowestRealTime{1};
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &lowestRealTime) == 0)
        return;
    // Without the right to that, two steps above normal with short slices
    // comes closest; without the right to raise it either, the thread keeps
    // the normal priority.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -2);
    RequestShortSlices();
}

void TIdThread::Execute() {
    // Listed for crash reports while it runs; the class is the most-derived
    // one, the description its whole name.
    const TThreadRegistration registration(Demangled(typeid(*this).name()), Name,
                                           std::move(creator_));
    ApplyNameAndPriority();
    try {
        while (!Stopped())
            Run();
    } catch (const std::exception& failure) {
        DoException(failure);
    } catch (...) {
        DoException(EUnknownException());
    }
    AfterRun();
    finished_ = true;
    NotifySyncWaiters();
}

void TIdThread::DoException(const std::exception& failure) {
    terminatingClass_ = ExceptionClassName(failure);
    terminatingMessage_ = failure.what();
    ExceptionHook hook;
    {
        std::lock_guard guard(hookLock);
        hook = exceptionHook;
    }
    if ((!hook || hook(*this, failure)) && OnException)
        OnException(*this, failure);
    Terminate();
}
