#include "callstack/ThreadsList.h"

#include "callstack/SignalThreads.h"

#include <algorithm>
#include <unistd.h>

namespace {

// The process's first thread registers itself while the program's static
// objects are built, before anything can start another thread.
[[maybe_unused]] const bool mainRegistered = [] {
    if (gettid() == getpid())
        TThreadsList::Instance().AddMainThread();
    return true;
}();

} // namespace

TThreadsList& TThreadsList::Instance() {
    static TThreadsList list;
    return list;
}

[[gnu::noinline]] TThreadCreator TThreadsList::CurrentCreator() const {
    TThreadCreator creator;
    creator.Id = gettid();
    WalkStack(creator.Stack, reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
    std::lock_guard guard(lock_);
    for (const TThreadRecord& record : threads_)
        if (record.Id == creator.Id) {
            creator.Class = record.Class;
            creator.Description = record.Description;
            creator.Main = record.Main;
        }
    return creator;
}

void TThreadsList::AddCurrent(std::string className, std::string description,
                              TThreadCreator creator) {
    TThreadRecord record;
    record.Framework = true;
    record.Class = std::move(className);
    record.Description = std::move(description);
    record.Creator = std::move(creator);
    Add(std::move(record));
}

void TThreadsList::AddMainThread() {
    TThreadRecord record;
    record.Main = true;
    Add(std::move(record));
}

void TThreadsList::Add(TThreadRecord record) {
    record.Id = gettid();
    record.Handle = pthread_self();
    std::lock_guard guard(lock_);
    if (std::none_of(threads_.begin(), threads_.end(),
                     [&](const TThreadRecord& r) { return r.Id == record.Id; })) {
        AddSignalThread(record);
        threads_.push_back(std::move(record));
    }
}

void TThreadsList::RemoveCurrent() {
    const pid_t id = gettid();
    RemoveSignalThread(id);
    std::unique_lock guard(lock_);
    for (TThreadRecord& record : threads_)
        record.Ending = record.Ending || record.Id == id;
    // Holds are taken one at a time: once another has begun, the one that
    // may have seen this thread present is over.
    const std::uint64_t begun = holdsBegun_;
    released_.wait(guard, [&] { return holds_ == 0 || holdsBegun_ != begun; });
    std::erase_if(threads_, [id](const TThreadRecord& r) { return r.Id == id; });
}

std::vector<TThreadRecord> TThreadsList::Hold() {
    std::lock_guard guard(lock_);
    ++holds_;
    ++holdsBegun_;
    released_.notify_all();
    return threads_;
}

bool TThreadsList::Present(pid_t thread) const {
    std::lock_guard guard(lock_);
    return std::any_of(threads_.begin(), threads_.end(),
                       [thread](const TThreadRecord& r) { return r.Id == thread && !r.Ending; });
}

void TThreadsList::Release() {
    std::lock_guard guard(lock_);
    if (--holds_ == 0)
        released_.notify_all();
}

std::vector<TThreadRecord> TThreadsList::Snapshot() const {
    std::lock_guard guard(lock_);
    return threads_;
}
