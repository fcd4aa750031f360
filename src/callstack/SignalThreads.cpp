#include "callstack/SignalThreads.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// `tableLock` serialises the registering and ending threads; the signal
// handler reads the table without it.
std::mutex tableLock;
TSignalThreadTable table;

template <std::size_t N> void CopyName(char (&to)[N], const std::string& from) {
    const std::size_t length = std::min(from.size(), N - 1);
    std::memcpy(to, from.data(), length);
    to[length] = '\0';
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
    __atomic_store_n(&slot->Id, record.Id, __ATOMIC_RELEASE);
}

void RemoveSignalThread(pid_t id) {
    std::lock_guard guard(tableLock);
    for (TSignalThread& slot : table.Threads)
        if (slot.Id == id)
            __atomic_store_n(&slot.Id, 0, __ATOMIC_RELEASE);
}

const TSignalThreadTable& SignalThreads() {
    return table;
}
