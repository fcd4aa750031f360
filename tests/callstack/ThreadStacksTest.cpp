#include "TestDebugData.h"

#include "callstack/CallStack.h"
#include "net/IdSync.h"
#include "net/IdThread.h"
#include "net/IdUDPServer.h"
#include "report/text/ReportText.h"
#include "support/LoopbackPeer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csetjmp>
#include <csignal>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A thread of ours that waits until released; optionally with the stack
// signal blocked, like a thread that will not be interrupted.
class TParkedThread : public TIdThread {
public:
    explicit TParkedThread(bool blockStop) : blockStop_(blockStop) {}
    ~TParkedThread() override {
        Release();
        Stop();
        WaitFor();
    }
    void WaitParked() {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [this] { return parked_; });
    }
    void Release() {
        std::lock_guard guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

protected:
    void Run() override {
        sigset_t stop;
        sigemptyset(&stop);
        sigaddset(&stop, StackSignal());
        pthread_sigmask(blockStop_ ? SIG_BLOCK : SIG_UNBLOCK, &stop, nullptr);
        std::unique_lock guard(lock_);
        parked_ = true;
        changed_.notify_all();
        changed_.wait(guard, [this] { return released_; });
        guard.unlock();
        pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
        Stop();
    }

private:
    const bool blockStop_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool parked_ = false, released_ = false;
};

// Whether the thread's entries of that kind name `procedure` of `cls` (any
// procedure of it when `procedure` is empty).
bool HasProcedure(const std::vector<TCallStackEntry>& entries, std::uint64_t thread,
                  TStackKind kind, const std::string& cls, const std::string& procedure) {
    for (const TCallStackEntry& e : entries)
        if (e.Thread.Id == thread && e.Kind == kind && e.Class == cls &&
            (procedure.empty() || e.Procedure == procedure))
            return true;
    return false;
}

[[gnu::noinline]] std::vector<TCallStackEntry> ReportAThrow() {
    try {
        throw std::runtime_error("in the main thread");
    } catch (const std::exception& e) {
        return GatherCallStack(gettid(), FindThrowSite(dynamic_cast<const void*>(&e)),
                               &TestDebugData());
    }
}

} // namespace

TEST(ThreadStacks, AReportListsEveryThreadAndTheReceivingThreadsGoOnReceiving) {
    TIdUDPServer server{"UDPServerTask"};
    for (int i = 0; i < 2; ++i)
        server.Bindings.Add().IP = "127.0.0.1";
    int reads = 0;
    server.OnUDPRead = [&](TIdUDPListenerThread&, const TIdBytes&, TIdSocketHandle&) { ++reads; };
    server.SetActive(true);
    std::this_thread::sleep_for(100ms); // let both threads reach their readiness wait

    const std::vector<TCallStackEntry> entries = ReportAThrow();

    const auto main = static_cast<std::uint64_t>(gettid());
    std::map<std::uint64_t, TStackKind> threads;
    for (const TCallStackEntry& e : entries)
        if (e.Kind != TStackKind::CallingThread)
            threads.emplace(e.Thread.Id, e.Kind);
    ASSERT_EQ(threads.size(), 3u);
    EXPECT_EQ(entries.front().Thread.Id, main);
    EXPECT_TRUE(HasProcedure(entries, main, TStackKind::ExceptionThread, "(anonymous namespace)",
                             "ReportAThrow"));
    for (const auto& [id, kind] : threads) {
        if (id == main)
            continue;
        EXPECT_EQ(kind, TStackKind::RunningThread);
        EXPECT_TRUE(HasProcedure(entries, id, TStackKind::RunningThread, "TIdThread", "Execute"));
        EXPECT_TRUE(
            HasProcedure(entries, id, TStackKind::RunningThread, "TIdUDPListenerThread", ""));
    }
    // They run at "highest" where the system lets them, whichever way it does.
    std::set<std::string> names;
    for (const TCallStackEntry& e : entries) {
        if (e.Kind == TStackKind::RunningThread) {
            EXPECT_EQ(e.Thread.Priority, geteuid() == 0 ? "2" : "0");
            names.insert(e.Thread.Description);
        }
    }
    EXPECT_EQ(*names.begin() + *names.rbegin(),
              "UDPServerTask Listener #1UDPServerTask Listener #2");
    // Both receiving threads were started by the main thread.
    for (const TCallStackEntry& e : entries) {
        if (e.Kind == TStackKind::CallingThread) {
            EXPECT_TRUE(e.Thread.Main && e.Thread.Id == main);
        }
    }
    EXPECT_TRUE(HasProcedure(entries, main, TStackKind::CallingThread, "TIdThread", "Start"));

    LoopbackPeer device;
    for (int i = 0; i < 2; ++i)
        device.SendTo(server.Bindings[i].Port, {1});
    WaitRunningSyncCalls([&] { return reads == 2; }, 5s);
    EXPECT_EQ(reads, 2);
    server.SetActive(false);
}

TEST(ThreadStacks, AThreadThatBlocksTheSignalIsListedWithoutAStackAndItsLateAnswerHarmsNothing) {
    TParkedThread deaf(true), listening(false);
    deaf.Start(), listening.Start();
    deaf.WaitParked(), listening.WaitParked();

    auto stacks = TakeThreadStacks(0, 100ms);
    std::map<pid_t, bool> taken;
    for (const TThreadStack& s : stacks)
        taken[s.Thread.Id] = s.Taken && s.Trace.Count > 0;
    ASSERT_EQ(taken.size(), 2u); // the main thread is the caller
    EXPECT_EQ(std::count_if(taken.begin(), taken.end(), [](auto& t) { return t.second; }), 1);
    // In the report the deaf thread has its header and no rows.
    TStackTrace none;
    const std::string text =
        CallStackText(BuildCallStack(gettid(), none, stacks, nullptr), TReportTexts());
    EXPECT_EQ(text.find("|0000000000000000|"), std::string::npos) << text;
    for (const TThreadStack& s : stacks)
        EXPECT_NE(text.find("ID=" + std::to_string(s.Thread.Id)), std::string::npos) << text;

    // Released, the deaf thread answers the old request; the next one is still right.
    deaf.Release();
    deaf.WaitFor();
    stacks = TakeThreadStacks();
    ASSERT_EQ(stacks.size(), 1u);
    EXPECT_TRUE(stacks[0].Taken && stacks[0].Trace.TopIsExact);
    EXPECT_EQ(stacks[0].Context.RIP, stacks[0].Trace.Frames[0]);
}

static struct sigaction realStackAction;
static thread_local sigjmp_buf stuck;

// The real handler, on a context it cannot read: it stops after it began.
static void StoppingStackHandler(int signal, siginfo_t* info, void*) {
    if (sigsetjmp(stuck, 1) == 0)
        realStackAction.sa_sigaction(signal, info, nullptr);
}

TEST(ThreadStacks, AThreadStoppedInsideItsHandlerCostsNoMoreThanTheWait) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers take the fault in the handler for a crash";
#endif
    TParkedThread stopping(false);
    stopping.Start(), stopping.WaitParked();
    TakeThreadStacks(0, 100ms); // installs the real handler
    struct sigaction wrapper {
    }, leave{}, oldFault{};
    wrapper.sa_sigaction = StoppingStackHandler, wrapper.sa_flags = SA_SIGINFO;
    leave.sa_handler = [](int) { siglongjmp(stuck, 1); };
    sigaction(StackSignal(), &wrapper, &realStackAction), sigaction(SIGSEGV, &leave, &oldFault);
    const auto stacks = TakeThreadStacks(0, 100ms);
    sigaction(StackSignal(), &realStackAction, nullptr), sigaction(SIGSEGV, &oldFault, nullptr);
    EXPECT_FALSE(stacks.at(0).Taken);
    EXPECT_TRUE(TakeThreadStacks(0, 100ms).at(0).Taken) << "the next request takes another slot";
}

TEST(ThreadStacks, ThreadsMayStartAndEndWhileStacksAreTaken) {
    std::atomic<bool> done = false;
    std::atomic<int> generations = 0;
    std::thread churn([&] {
        while (!done) {
            std::vector<std::unique_ptr<TParkedThread>> threads;
            for (int i = 0; i < 4; ++i) {
                threads.push_back(std::make_unique<TParkedThread>(false));
                threads.back()->Start();
            }
            ++generations;
        } // each released and ended here
    });
    // A thread that begins to end right after it was found present still
    // answers; only where signal delivery is emulated (ThreadSanitizer) may it
    // miss the bounded wait and be listed without a stack, never with a broken one.
    std::size_t taken = 0;
    for (int round = 0; round < 200 || generations < 50; ++round)
        for (const TThreadStack& s : TakeThreadStacks()) {
            EXPECT_TRUE(!s.Taken || s.Trace.Count > 0);
            taken += s.Taken;
        }
    EXPECT_GT(taken, 0u);
    done = true;
    churn.join();
    EXPECT_EQ(TThreadsList::Instance().Snapshot().size(), 1u);
}
