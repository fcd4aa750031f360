#pragma once

#include "callstack/CallStackTypes.h"
#include "callstack/DebugData.h"
#include "callstack/StackTrace.h"
#include "callstack/SymbolNames.h"
#include "callstack/ThreadStacks.h"
#include "callstack/ThrowSite.h"

#include <string>
#include <sys/types.h>
#include <vector>

// Writes unit, class, procedure and line into `entry` for the code at
// `offset` from the program's load address, when `debug` knows it.
void NameFromDebugData(TCallStackEntry& entry, const TDebugData* debug, std::uint64_t offset);

// Names one address: its module (a GBK text, like every text of a report),
// and unit, class, procedure and line when it lies in the program and the
// debug data knows it; elsewhere the procedure is the module's symbol. A
// return address is named by the call before it.
class TFrameNamer {
public:
    explicit TFrameNamer(const TDebugData* debug);
    // The program's file as `programPath` (UTF-8) names it.
    TFrameNamer(const TDebugData* debug, const std::string& programPath);
    TCallStackEntry Name(std::uintptr_t address, bool returnAddress) const;

private:
    bool InProgram(std::uintptr_t address) const;

    const TDebugData* debug_;
    std::string programName_;
    std::uintptr_t programBias_ = 0;
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> programRanges_;
    TSymbolNames symbols_;
};

// Names `entry`'s procedure from a symbol table when the debug data did not.
void NameFromSymbol(TCallStackEntry& entry, const std::string& symbol);

// The entries of the call-stack table in the order the report writes them:
// the exception thread's stack first (its first entry marked as the start of
// the stack), then the stack of the code that created that thread, then each
// other thread's stack followed by its creator's.
std::vector<TCallStackEntry> BuildCallStack(pid_t exceptionThread,
                                            const TStackTrace& exceptionTrace,
                                            const std::vector<TThreadStack>& others,
                                            const TDebugData* debug);

// Takes what BuildCallStack needs and builds it: the exception thread's stack
// comes from its throw site; without one it is taken as it stands now.
std::vector<TCallStackEntry> GatherCallStack(pid_t exceptionThread, const TThrowSite* site,
                                             const TDebugData* debug);
