#include "callstack/SignalThreads.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Enough for the fatal-fault handler, which walks the stack and starts the
// reporter; a guard page below catches a handler that would overflow it.
constexpr std::size_t kSignalStackSize = 256 * 1024;
constexpr std::size_t kGuardSize = 4096;

// The table and who owns each stack. `tableLock` serialises the registering
// and ending threads; the signal handler reads the table without it.
std::mutex tableLock;
TSignalThreadTable table;
void* stacks[kSignalThreadSlots] = {};

template <std::size_t N> void CopyName(char (&to)[N], const std::string& from) {
    const std::size_t length = std::min(from.size(), N - 1);
    std::memcpy(to, from.data(), length);
    to[length] = '\0';
}

// Maps a stack with a guard page and makes it the calling thread's; null
// when no memory could be had.
void* InstallSignalStack() {
    void* area = mmap(nullptr, kSignalStackSize + kGuardSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (area == MAP_FAILED)
        return nullptr;
    mprotect(area, kGuardSize, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(area) + kGuardSize;
    stack.ss_size = kSignalStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(area, kSignalStackSize + kGuardSize);
        return nullptr;
    }
    return area;
}

void RemoveSignalStack(void* area) {
    if (area == nullptr)
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(area, kSignalStackSize + kGuardSize);
}

} // namespace

void AddSignalThread(const TThreadRecord& record) {
    std::lock_guard guard(tableLock);
    TSignalThread* end = table.Threads + kSignalThreadSlots;
    TSignalThread* slot =
        std::find_if(table.Threads, end, [](const TSignalThread& t) { return t.Id == 0; });
    if (slot == end)
        return;
    slot->Main = record.Main;
    CopyName(slot->Class, record.Class);
    CopyName(slot->Description, record.Description);
    slot->CreatorId = record.Creator.Id;
    slot->CreatorMain = record.Creator.Main;
    CopyName(slot->CreatorClass, record.Creator.Class);
    CopyName(slot->CreatorDescription, record.Creator.Description);
    slot->CreatorStack = record.Creator.Stack;
    stacks[slot - table.Threads] = InstallSignalStack();
    __atomic_store_n(&slot->Id, record.Id, __ATOMIC_RELEASE);
}

void RemoveSignalThread(pid_t id) {
    std::lock_guard guard(tableLock);
    for (std::size_t i = 0; i < kSignalThreadSlots; ++i)
        if (table.Threads[i].Id == id) {
            __atomic_store_n(&table.Threads[i].Id, 0, __ATOMIC_RELEASE);
            RemoveSignalStack(stacks[i]);
            stacks[i] = nullptr;
        }
}

const TSignalThreadTable& SignalThreads() {
    return table;
}
