#pragma once

#include "callstack/CallStackTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The return addresses of one thread's stack, innermost first. Fixed size, so
// that a signal handler or the throw path can fill one without allocating.
struct TStackTrace {
    static constexpr std::size_t Capacity = 64;
    std::array<std::uintptr_t, Capacity> Frames{};
    std::size_t Count = 0;
    // True when Frames[0] is the exact instruction a thread was stopped at;
    // otherwise every frame is a return address (the instruction after a call).
    bool TopIsExact = false;
};

// Walks the calling thread's stack with the compiler runtime's unwinder and
// keeps the frames from the first one whose address is `from` on; 0 starts at
// the caller of WalkStack. When `from` is not met the whole walk is kept. Allocates nothing and
// takes no lock, so it may run in a signal handler. With `calleeSaved`, the callee-saved registers
// (RBX, RBP, R12 to R15) of the first kept frame are written there.
void WalkStack(TStackTrace& trace, std::uintptr_t from, TCpuContext* calleeSaved = nullptr);
