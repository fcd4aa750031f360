#include "callstack/ThreadStacks.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>
#include <sched.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

// The storage one stack is taken into. Its ticket is the request's number
// shifted left by two plus the state below; a handler only writes when it
// finds its own request still pending, so a late answer to a request that was
// given up cannot touch the next one. Guarded by `takerLock` on the
// reporter's side; the handler owns Context and Trace between Taking and Done.
enum : std::uint64_t { Free = 0, Pending = 1, Taking = 2, Done = 3, StateMask = 3 };

struct TStackSlot {
    std::atomic<std::uint64_t> Ticket{Free};
    sem_t Answered;
    TCpuContext Context;
    TStackTrace Trace;
};

// A handler that began and never finished (its thread stopped in it) keeps
// its slot until it does; the next request takes another. The signal's value
// carries the request's number and its slot's index.
constexpr std::uint64_t kSlotBits = 3;
std::mutex takerLock;
std::array<TStackSlot, 1u << kSlotBits> slots;
std::uint64_t lastRequest = 0;

void ReadContext(const ucontext_t& uc, TCpuContext& to) {
    const greg_t* r = uc.uc_mcontext.gregs;
    auto u = [](greg_t v) { return static_cast<std::uint64_t>(v); };
    to.Valid = true;
    to.RAX = u(r[REG_RAX]), to.RBX = u(r[REG_RBX]), to.RCX = u(r[REG_RCX]);
    to.RDX = u(r[REG_RDX]), to.RSI = u(r[REG_RSI]), to.RDI = u(r[REG_RDI]);
    to.RBP = u(r[REG_RBP]), to.RSP = u(r[REG_RSP]), to.RIP = u(r[REG_RIP]);
    to.R8 = u(r[REG_R8]), to.R9 = u(r[REG_R9]), to.R10 = u(r[REG_R10]), to.R11 = u(r[REG_R11]);
    to.R12 = u(r[REG_R12]), to.R13 = u(r[REG_R13]), to.R14 = u(r[REG_R14]);
    to.R15 = u(r[REG_R15]);
}

// Runs on the interrupted thread. Async-signal-safe: atomics, the unwinder
// (which finds frames without locks) and sem_post.
void OnStackSignal(int, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto value = reinterpret_cast<std::uint64_t>(info->si_value.sival_ptr);
    const std::uint64_t request = value >> kSlotBits;
    TStackSlot& slot = slots[value & (slots.size() - 1)];
    std::uint64_t expected = request << 2 | Pending;
    if (info->si_code == SI_QUEUE && info->si_pid == getpid() &&
        slot.Ticket.compare_exchange_strong(expected, request << 2 | Taking,
                                            std::memory_order_acquire)) {
        ReadContext(*static_cast<const ucontext_t*>(context), slot.Context);
        WalkStack(slot.Trace, slot.Context.RIP);
        slot.Trace.TopIsExact = slot.Trace.Count > 0 && slot.Trace.Frames[0] == slot.Context.RIP;
        slot.Ticket.store(request << 2 | Done, std::memory_order_release);
        sem_post(&slot.Answered);
    }
    errno = savedErrno;
}

void InstallHandler() {
    for (TStackSlot& slot : slots)
        sem_init(&slot.Answered, 0, 0);
    struct sigaction action {};
    action.sa_sigaction = OnStackSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(StackSignal(), &action, nullptr);
}

timespec Deadline(std::chrono::milliseconds wait) {
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    const auto ns = at.tv_nsec + std::chrono::nanoseconds(wait).count();
    at.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    at.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return at;
}

// A slot no handler is writing, its old answers drained; null when every
// slot is held by a handler that never finished.
TStackSlot* FreeSlot() {
    for (TStackSlot& slot : slots) {
        const std::uint64_t state = slot.Ticket.load(std::memory_order_acquire) & StateMask;
        if (state == Free || state == Done) {
            while (sem_trywait(&slot.Answered) == 0) {
            }
            return &slot;
        }
    }
    return nullptr;
}

// Signals one thread and waits at most `wait` for its answer; true when the
// stack was taken.
bool TakeOne(pthread_t thread, std::chrono::milliseconds wait, TThreadStack& into) {
    TStackSlot* slot = FreeSlot();
    if (slot == nullptr)
        return false;
    const std::uint64_t request = ++lastRequest;
    const std::uint64_t mine = request << 2;
    slot->Ticket.store(mine | Pending, std::memory_order_release);
    sigval value{};
    value.sival_ptr = reinterpret_cast<void*>(request << kSlotBits | (slot - slots.data()));
    if (pthread_sigqueue(thread, StackSignal(), value) != 0) {
        slot->Ticket.store(Free, std::memory_order_relaxed);
        return false;
    }
    const timespec deadline = Deadline(wait);
    // A post may be a late one of an earlier request: only the ticket tells.
    while (slot->Ticket.load(std::memory_order_acquire) != (mine | Done)) {
        if (sem_clockwait(&slot->Answered, CLOCK_MONOTONIC, &deadline) == 0 || errno == EINTR)
            continue;
        std::uint64_t expected = mine | Pending;
        // Not begun: withdrawn. Begun but not finished: the thread stopped
        // inside its handler, which keeps the slot until it ends.
        if (!slot->Ticket.compare_exchange_strong(expected, Free, std::memory_order_acq_rel) &&
            expected == (mine | Done))
            break;
        return false;
    }
    into.Context = slot->Context;
    into.Trace = slot->Trace;
    slot->Ticket.store(Free, std::memory_order_relaxed);
    return true;
}

} // namespace

int StackSignal() {
    return SIGRTMIN + 4;
}

int ThreadPriority(pid_t thread) {
    const int policy = sched_getscheduler(thread);
    if (policy == SCHED_FIFO || policy == SCHED_RR) {
        // Our receiving threads take the lowest real-time level as "highest".
        sched_param level{};
        return sched_getparam(thread, &level) == 0 && level.sched_priority == 1 ? 2 : 15;
    }
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno != 0)
        return 0;
    // Our threads ask for nice -2 as "highest", two steps above normal.
    return nice <= -2 ? 2 : nice >= 2 ? -2 : -nice;
}

std::vector<TThreadStack> TakeThreadStacks(pid_t skip, std::chrono::milliseconds wait) {
    static std::once_flag installed;
    std::call_once(installed, InstallHandler);
    const pid_t self = gettid();
    std::lock_guard guard(takerLock);
    std::vector<TThreadStack> stacks;
    const TThreadsHold held;
    stacks.reserve(held.Threads.size());
    for (const TThreadRecord& thread : held.Threads) {
        if (thread.Id == self || thread.Id == skip || !TThreadsList::Instance().Present(thread.Id))
            continue;
        TThreadStack& stack = stacks.emplace_back();
        stack.Thread = thread;
        stack.Priority = ThreadPriority(thread.Id);
        stack.Taken = TakeOne(thread.Handle, wait, stack);
    }
    return stacks;
}
