#include "callstack/StackTrace.h"

#include <unwind.h>

namespace {

struct TWalk {
    TStackTrace& trace;
    std::uintptr_t from;
    TCpuContext* calleeSaved;
    bool keeping;
};

// x86-64 DWARF register numbers.
constexpr int DwarfRBX = 3, DwarfRBP = 6, DwarfR12 = 12, DwarfR13 = 13, DwarfR14 = 14,
              DwarfR15 = 15;

void ReadCalleeSaved(_Unwind_Context* context, TCpuContext& registers) {
    registers.RBX = _Unwind_GetGR(context, DwarfRBX);
    registers.RBP = _Unwind_GetGR(context, DwarfRBP);
    registers.R12 = _Unwind_GetGR(context, DwarfR12);
    registers.R13 = _Unwind_GetGR(context, DwarfR13);
    registers.R14 = _Unwind_GetGR(context, DwarfR14);
    registers.R15 = _Unwind_GetGR(context, DwarfR15);
}

_Unwind_Reason_Code TakeFrame(_Unwind_Context* context, void* argument) {
    TWalk& walk = *static_cast<TWalk*>(argument);
    int beforeInstruction = 0;
    const std::uintptr_t address = _Unwind_GetIPInfo(context, &beforeInstruction);
    if (address == 0)
        return _URC_END_OF_STACK;
    walk.keeping = walk.keeping || address == walk.from;
    if (!walk.keeping)
        return _URC_NO_REASON;
    TStackTrace& trace = walk.trace;
    if (trace.Count == 0 && walk.calleeSaved != nullptr)
        ReadCalleeSaved(context, *walk.calleeSaved);
    if (trace.Count == TStackTrace::Capacity)
        return _URC_END_OF_STACK;
    trace.Frames[trace.Count++] = address;
    return _URC_NO_REASON;
}

} // namespace

[[gnu::noinline]] void WalkStack(TStackTrace& trace, std::uintptr_t from,
                                 TCpuContext* calleeSaved) {
    if (from == 0)
        from = reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
    trace.Count = 0;
    trace.TopIsExact = false;
    TWalk walk{trace, from, calleeSaved, false};
    _Unwind_Backtrace(TakeFrame, &walk);
    if (trace.Count == 0 && from != 0) {
        // The frame was not met (an unwinder that cannot see through the
        // signal frame): keep the whole walk rather than nothing.
        walk.keeping = true;
        _Unwind_Backtrace(TakeFrame, &walk);
    }
}
