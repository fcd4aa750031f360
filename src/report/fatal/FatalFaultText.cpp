#include "report/fatal/FatalFaultText.h"

#include "report/gather/CpuDump.h"

#include <array>
#include <string_view>

namespace {

struct TSignalText {
    int Signal;
    const char* Name;
    const char* Fault;
    // The kernel's reasons by si_code, from 1 on.
    std::array<const char*, 8> Reasons;
};

const TSignalText kSignals[] = {
    {SIGSEGV,
     "SIGSEGV",
     "Segmentation fault",
     {"address not mapped", "invalid permissions", "failed address bound checks",
      "access denied by protection key"}},
    {SIGBUS,
     "SIGBUS",
     "Bus error",
     {"invalid address alignment", "nonexistent physical address", "object-specific hardware error",
      "machine check: memory lost", "machine check: memory lost soon"}},
    {SIGFPE,
     "SIGFPE",
     "Arithmetic fault",
     {"integer divide by zero", "integer overflow", "floating-point divide by zero",
      "floating-point overflow", "floating-point underflow", "floating-point inexact result",
      "invalid floating-point operation", "subscript out of range"}},
    {SIGILL,
     "SIGILL",
     "Illegal instruction",
     {"illegal opcode", "illegal operand", "illegal addressing mode", "illegal trap",
      "privileged opcode", "privileged register", "coprocessor error", "internal stack error"}},
    {SIGABRT, "SIGABRT", "Abort", {}},
};

const TSignalText* TextOf(int signal) {
    for (const TSignalText& text : kSignals)
        if (text.Signal == signal)
            return &text;
    return nullptr;
}

// What the instruction did to the address, from the page fault's error code.
const char* AccessOf(std::uint64_t errorCode) {
    if (errorCode & 0x10)
        return "execution";
    return (errorCode & 0x2) ? "write" : "read";
}

// A stack that ran out: a read or write in its guard. Running code there is
// a jump to a bad address, whatever the address.
bool StackOverflow(const TFatalFault& fault, bool inStackGuard) {
    return inStackGuard && (fault.ErrorCode & 0x10) == 0 &&
           (fault.Info.si_code == SEGV_MAPERR || fault.Info.si_code == SEGV_ACCERR);
}

std::string KernelDetail(const TFatalFault& fault, const TSignalText& text, bool inStackGuard) {
    const siginfo_t& info = fault.Info;
    if (info.si_code == SI_KERNEL)
        return "general protection fault";
    const int code = info.si_code;
    const char* reason =
        code >= 1 && code <= int(text.Reasons.size()) ? text.Reasons[code - 1] : nullptr;
    const std::string why = reason ? reason : "reason " + std::to_string(code);
    const std::string address = Hex16(reinterpret_cast<std::uint64_t>(info.si_addr));
    if (fault.Signal == SIGSEGV)
        return std::string(AccessOf(fault.ErrorCode)) + " of address " + address + " (" + why +
               (StackOverflow(fault, inStackGuard) ? ", stack overflow)" : ")");
    if (fault.Signal == SIGBUS)
        return "access to address " + address + " (" + why + ")";
    return why;
}

std::string Detail(const TFatalFault& fault, const TSignalText& text, bool inStackGuard) {
    if (fault.Terminated) {
        if (fault.UncaughtType[0] == '\0')
            return "std::terminate called without an exception";
        std::string detail = std::string("uncaught exception ") + fault.UncaughtType;
        if (fault.UncaughtMessage[0] != '\0')
            detail += std::string(": ") + fault.UncaughtMessage;
        return detail;
    }
    if (fault.Info.si_code > 0)
        return KernelDetail(fault, text, inStackGuard);
    if (fault.Signal == SIGABRT && fault.Info.si_pid == fault.Process)
        return "the program called abort()";
    return "sent by process " + std::to_string(fault.Info.si_pid);
}

} // namespace

std::string SignalName(int signal) {
    const TSignalText* text = TextOf(signal);
    return text ? text->Name : "signal " + std::to_string(signal);
}

std::string FatalFaultMessage(const TFatalFault& fault, bool inStackGuard) {
    const TSignalText* text = TextOf(fault.Signal);
    if (text == nullptr)
        return SignalName(fault.Signal) + " at " + Hex16(fault.Context.RIP) + ".";
    return std::string(text->Fault) + " at " + Hex16(fault.Context.RIP) + ": " +
           Detail(fault, *text, inStackGuard) + ".";
}
