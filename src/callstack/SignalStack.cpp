#include "callstack/SignalStack.h"

#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <new>
#include <pthread.h>
#include <sys/mman.h>

namespace {

// Enough for the fatal-fault handler, which starts the reporter and, only
// when tracing is refused, walks the stack; a guard page below catches a
// handler that would overflow it.
constexpr std::size_t kSignalStackSize = 256 * 1024;
constexpr std::size_t kGuardSize = 4096;

// The calling thread's own alternate stack, for as long as it runs. A
// thread that has one already (the sanitizers give their own) keeps it.
class TSignalStack {
public:
    TSignalStack() {
        stack_t current{};
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0)
            return;
        void* area = mmap(nullptr, kSignalStackSize + kGuardSize, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (area == MAP_FAILED)
            return;
        mprotect(area, kGuardSize, PROT_NONE);
        stack_t stack{};
        stack.ss_sp = static_cast<char*>(area) + kGuardSize;
        stack.ss_size = kSignalStackSize;
        if (sigaltstack(&stack, nullptr) != 0)
            munmap(area, kSignalStackSize + kGuardSize);
        else
            area_ = area;
    }
    ~TSignalStack() {
        if (area_ == nullptr)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(area_, kSignalStackSize + kGuardSize);
    }
    TSignalStack(const TSignalStack&) = delete;
    TSignalStack& operator=(const TSignalStack&) = delete;

private:
    void* area_ = nullptr;
};

struct TStart {
    void* (*Routine)(void*);
    void* Argument;
};

// The start of every created thread. The stack goes when the routine
// returns, and when the thread ends in pthread_exit or by cancellation, both
// of which unwind through here.
void* StartWithSignalStack(void* start) {
    const TStart routine = *static_cast<TStart*>(start);
    std::free(start);
    const TSignalStack stack;
    return routine.Routine(routine.Argument);
}

using TCreate = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

} // namespace

void EnsureSignalStack() {
    // Never given back: the first thread ends with the process, and a fault
    // in its last exit handlers still finds the stack. Made in the thread's
    // own storage, so no allocation is left behind for a leak checker.
    alignas(TSignalStack) static thread_local unsigned char storage[sizeof(TSignalStack)];
    static thread_local bool made = false;
    if (!made) {
        new (storage) TSignalStack;
        made = true;
    }
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*routine)(void*), void* argument) {
    static const auto real = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
    auto* start = static_cast<TStart*>(std::malloc(sizeof(TStart)));
    if (start == nullptr)
        return real(thread, attributes, routine, argument);
    *start = {routine, argument};
    const int failure = real(thread, attributes, StartWithSignalStack, start);
    if (failure != 0)
        std::free(start);
    return failure;
}
