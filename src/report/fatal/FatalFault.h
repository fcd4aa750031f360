#pragma once

#include "callstack/CallStackTypes.h"
#include "callstack/SignalThreads.h"
#include "callstack/StackTrace.h"

#include <csignal>
#include <cstdint>
#include <sys/types.h>

// What the fatal-fault handler sends the reporter process over the socket
// that is the reporter's standard input: the fault as the kernel described it
// and what only the faulting process could see at that moment, then one
// TSignalThread per registered thread and an empty one after the last. Plain
// bytes of a fixed size; the reporter is the same executable, so both sides
// agree on the layout.
//
// When the reporter cannot trace the process it then asks with one byte,
// kWalkRequest, and the handler sends the faulting thread's stack as it
// walked it in-process (a TStackTrace); otherwise the handler walks nothing.

inline constexpr std::uint32_t kFatalFaultMagic = 0x51584647; // "GFXQ"
inline constexpr char kWalkRequest = 'W';

// The option that starts the program as the reporter of a crashed instance.
inline constexpr const char* kFatalReportOption = "--fatal-report";

struct TFatalFault {
    std::uint32_t Magic = kFatalFaultMagic;
    pid_t Process = 0;
    pid_t Thread = 0; // the faulting thread
    int Signal = 0;
    siginfo_t Info{};
    TCpuContext Context;
    std::uint64_t ErrorCode = 0; // the page fault's error code: bit 1 write, bit 4 fetch
    TStackTrace Trace;           // the faulting thread's stack, walked in-process on request
    std::uint8_t Stack[128] = {};
    std::uint32_t StackSize = 0; // bytes of Stack read from the stack pointer on
    // Set when std::terminate on the faulting thread led to the abort: the
    // exception's type and message, empty when there was none or it could
    // not be read.
    bool Terminated = false;
    char UncaughtType[128] = {};
    char UncaughtMessage[512] = {};
    // The program's own file, as found at start-up: /proc/<pid>/exe names
    // the dynamic loader when the program was started through it.
    char Program[4096] = {};
};
