#pragma once

#include "callstack/CallStackTypes.h"
#include "callstack/StackTrace.h"

#include <array>
#include <cstdint>
#include <typeinfo>

// Where an exception was thrown. A C++ exception carries no address and no
// stack, and by the time a top-level handler sees it the thrower's frames are
// gone, so every throw in the process records this first, in storage of the
// throwing thread.
struct TThrowSite {
    const void* Object = nullptr; // the thrown object (most-derived address)
    const std::type_info* Type = nullptr;
    std::uintptr_t Address = 0; // the return address of the throwing call
    // The thrower's registers at the throw: RIP, RSP, the callee-saved ones
    // and the three arguments of the throw call (RDI, RSI, RDX); the others
    // were spent by the call and are marked unknown.
    TCpuContext Context;
    std::array<std::uint8_t, 128> Stack{}; // the bytes at RSP
    TStackTrace Trace;                     // starts at the throwing frame
};

// The calling thread's record of the throw of `exceptionObject` (the address
// of the most-derived object, `dynamic_cast<const void*>(&e)`), or null when
// this thread recorded none for it. A thread keeps its last few throws, so an
// exception caught and replaced inside a handler does not hide the first one.
// The pointer stays valid until this thread throws a few more times.
const TThrowSite* FindThrowSite(const void* exceptionObject);

// Records `site` as the calling thread's throw of its object: an exception
// caught on one thread and raised again on another keeps the place where it
// was first thrown (raising again records nothing of its own).
void AdoptThrowSite(const TThrowSite& site);

// The calling thread's most recent throw, or null.
const TThrowSite* LastThrowSite();

// Capture is on from the start; the benchmark turns it off to compare.
void SetThrowCapture(bool on);
