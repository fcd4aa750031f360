// Crash-report call stack figures: what recording every throw costs, and how
// long taking the stacks of all registered threads takes.
//
//   callstack_bench [throws] [reports]

#include "callstack/ThreadStacks.h"
#include "callstack/ThreadsList.h"
#include "callstack/ThrowSite.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double NanosecondsSince(Clock::time_point start, long count) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
           static_cast<double>(count);
}

// Throws from `depth` frames down, so the walk has a realistic stack to cover.
// The call goes through a volatile pointer, so the compiler cannot fold the
// recursion into a loop.
int ThrowFrom(int depth);
int (*volatile nextFrame)(int) = ThrowFrom;

[[gnu::noinline]] int ThrowFrom(int depth) {
    if (depth == 0)
        throw std::runtime_error("bench");
    return nextFrame(depth - 1) + 1;
}

double ThrowAndCatch(bool capture, long throws, int depth) {
    SetThrowCapture(capture);
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < throws; ++i) {
        try {
            ThrowFrom(depth);
        } catch (const std::runtime_error&) {
        }
    }
    SetThrowCapture(true);
    return NanosecondsSince(start, throws);
}

// `count` registered threads parked on a condition variable while stacks are taken.
double TakeStacks(int count, long reports) {
    std::mutex lock;
    std::condition_variable released;
    bool done = false;
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&] {
            const TThreadRegistration registration("TBenchThread", "", {});
            std::unique_lock guard(lock);
            released.wait(guard, [&] { return done; });
        });
    while (TThreadsList::Instance().Snapshot().size() < static_cast<std::size_t>(count) + 1)
        std::this_thread::yield();
    std::size_t taken = 0;
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < reports; ++i)
        for (const TThreadStack& stack : TakeThreadStacks())
            taken += stack.Taken;
    const double perReport = NanosecondsSince(start, reports);
    {
        std::lock_guard guard(lock);
        done = true;
    }
    released.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    if (taken != static_cast<std::size_t>(count * reports))
        std::printf("  (only %zu of %ld stacks answered)\n", taken, count * reports);
    return perReport;
}

} // namespace

int main(int argc, char** argv) {
    const long throws = argc > 1 ? std::atol(argv[1]) : 200000;
    const long reports = argc > 2 ? std::atol(argv[2]) : 200;
    std::printf("throw and catch, %ld times:\n", throws);
    for (int depth : {1, 10, 30}) {
        const double off = ThrowAndCatch(false, throws, depth);
        const double on = ThrowAndCatch(true, throws, depth);
        std::printf("  %2d frames deep: capture off %7.0f ns, on %7.0f ns (x%.2f)\n", depth, off,
                    on, on / off);
    }
    std::printf("all stacks of the registered threads, %ld reports:\n", reports);
    for (int count : {3, 50})
        std::printf("  %2d threads: %8.1f us per report\n", count,
                    TakeStacks(count, reports) / 1000.0);
    return 0;
}
