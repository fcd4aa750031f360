#pragma once

#include "callstack/StackTrace.h"
#include "callstack/ThreadsList.h"

#include <cstddef>
#include <sys/types.h>

// The registered threads as a fatal-fault handler may read them: a table of
// fixed slots that needs no lock and no allocation to read, kept beside the
// thread registry. Its slots are far more than any host has adapters to
// listen on (one thread each); a slot costs memory only once it is used.

// One registered thread. Plain bytes, so the table can be written to a pipe
// as it stands.
struct TSignalThread {
    pid_t Id = 0; // 0: a free slot
    bool Main = false;
    char Class[32] = {};
    char Description[48] = {};
    pid_t CreatorId = 0; // 0: nobody recorded
    bool CreatorMain = false;
    char CreatorClass[32] = {};
    char CreatorDescription[48] = {};
    TStackTrace CreatorStack;
};

inline constexpr std::size_t kSignalThreadSlots = 4096;

struct TSignalThreadTable {
    TSignalThread Threads[kSignalThreadSlots];
};

// On the thread itself, when it registers: takes a slot (none when all are
// used; the thread is then reported without its class).
void AddSignalThread(const TThreadRecord& record);

// On the thread itself, when it ends: frees its slot.
void RemoveSignalThread(pid_t id);

// The table. A slot's Id is written last when it is taken and first when it
// is freed, so a reader that interrupts a change sees a free slot or a whole one.
const TSignalThreadTable& SignalThreads();
