#pragma once

#include "callstack/CallStackTypes.h"
#include "callstack/StackTrace.h"
#include "callstack/ThreadsList.h"

#include <chrono>
#include <vector>

// One registered thread as a crash report found it.
struct TThreadStack {
    TThreadRecord Thread;
    int Priority = 0;   // 0 normal, 2 highest, 15 real-time, negative below normal
    bool Taken = false; // false: the thread did not answer in time, no stack
    TCpuContext Context;
    TStackTrace Trace;
};

// Takes the registers and the stack of every registered thread except the
// caller and `skip`. Each thread is interrupted by a reserved real-time
// signal whose handler walks its own stack into storage prepared here, then
// goes on; a thread that does not answer within `wait` (it blocks the signal,
// or it is stuck) is listed without a stack. Threads are taken one after the
// other, so each is held only for its own walk.
std::vector<TThreadStack>
TakeThreadStacks(pid_t skip = 0, std::chrono::milliseconds wait = std::chrono::milliseconds(500));

// The signal the stacks are taken with; threads that must never be
// interrupted can block it.
int StackSignal();

// A thread's priority on the scale the report writes.
int ThreadPriority(pid_t thread);
