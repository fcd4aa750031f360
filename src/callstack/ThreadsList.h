#pragma once

#include "callstack/StackTrace.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <string>
#include <sys/types.h>
#include <vector>

// Who started a thread, and from where: the creating thread's id, its class
// and description as the registry knew them, and the stack of the code that
// started the thread.
struct TThreadCreator {
    pid_t Id = 0;
    std::string Class;
    std::string Description;
    bool Main = false;
    TStackTrace Stack;
};

// One registered thread.
struct TThreadRecord {
    pid_t Id = 0;           // the kernel's thread id, what the report shows
    pthread_t Handle = {};  // what the stop signal is sent to
    bool Framework = false; // started by one of our thread classes
    bool Main = false;
    std::string Class;       // our thread class, empty for the main thread
    std::string Description; // the thread's name, empty when it has none
    TThreadCreator Creator;
    bool Ending = false; // waiting in its removal until a report lets go
};

// The threads whose stacks a crash report takes: the main thread and every
// thread started through our thread classes. A thread adds itself when it
// starts and removes itself when it ends. `lock_` guards the list and the
// hold counts. A thread that ends marks itself ending and then waits in its
// removal (on a condition variable, where it still answers signals) until
// every hold that began before has ended; a report signals a thread only
// while it is present and not ending, so no thread it signals can be gone.
class TThreadsList {
public:
    static TThreadsList& Instance();

    // On the creating thread, just before it starts a thread.
    TThreadCreator CurrentCreator() const;

    // On the thread itself.
    void AddCurrent(std::string className, std::string description, TThreadCreator creator);
    void AddMainThread();
    void RemoveCurrent();

    // The registered threads, kept alive until the matching Release.
    std::vector<TThreadRecord> Hold();
    void Release();
    // Whether the thread is registered and has not begun to end; only such
    // a thread may be signalled during a hold.
    bool Present(pid_t thread) const;
    std::vector<TThreadRecord> Snapshot() const;

private:
    TThreadsList() = default;
    void Add(TThreadRecord record);

    mutable std::mutex lock_;
    std::condition_variable released_;
    int holds_ = 0;
    std::uint64_t holdsBegun_ = 0;
    std::vector<TThreadRecord> threads_;
};

// Holds the registry for a scope; Threads are the threads registered when it began.
class TThreadsHold {
public:
    TThreadsHold() : Threads(TThreadsList::Instance().Hold()) {}
    ~TThreadsHold() { TThreadsList::Instance().Release(); }
    TThreadsHold(const TThreadsHold&) = delete;
    TThreadsHold& operator=(const TThreadsHold&) = delete;

    const std::vector<TThreadRecord> Threads;
};

// Keeps the calling thread registered for the scope's life.
class TThreadRegistration {
public:
    TThreadRegistration(std::string className, std::string description, TThreadCreator creator) {
        TThreadsList::Instance().AddCurrent(std::move(className), std::move(description),
                                            std::move(creator));
    }
    ~TThreadRegistration() { TThreadsList::Instance().RemoveCurrent(); }
    TThreadRegistration(const TThreadRegistration&) = delete;
    TThreadRegistration& operator=(const TThreadRegistration&) = delete;
};
