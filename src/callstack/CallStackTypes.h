#pragma once

#include <cstdint>
#include <string>

// What a call stack is made of: a thread's registers, the frames of its
// stack and the header its group carries. The crash report shows them; the
// thread registry and the stack taking fill them. Texts are GBK byte strings.

// The registers of TCpuContext, one bit each in its Unknown mask.
enum class TCpuRegister : unsigned {
    RAX,
    RBX,
    RCX,
    RDX,
    RSI,
    RDI,
    RBP,
    RSP,
    R8,
    R9,
    R10,
    R11,
    R12,
    R13,
    R14,
    R15,
    RIP
};

// The x86-64 general registers of a thread at the moment it was stopped.
struct TCpuContext {
    bool Valid = false; // false: every register is written as "?"
    // Registers the capture could not recover (a call spends the scratch
    // ones); they are written as "?" rather than as a made-up value.
    std::uint32_t Unknown = 0;
    std::uint64_t RAX = 0, RBX = 0, RCX = 0, RDX = 0, RSI = 0, RDI = 0, RBP = 0, RSP = 0;
    std::uint64_t R8 = 0, R9 = 0, R10 = 0, R11 = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0;
    std::uint64_t RIP = 0;

    static constexpr std::uint32_t Bit(TCpuRegister r) { return 1u << static_cast<unsigned>(r); }
    bool Known(TCpuRegister r) const { return Valid && (Unknown & Bit(r)) == 0; }
};

// Whose stack an entry comes from.
enum class TStackKind {
    ExceptionThread, // the thread the exception was raised in
    RunningThread,   // any other registered thread, taken at report time
    CallingThread    // the stack of the code that created the thread above
};

// The thread an entry belongs to, as its group header shows it.
struct TThreadHeader {
    bool Starred = false; // the leading "*"
    std::uint64_t Id = 0;
    std::string Priority;    // written as it stands after "Priority="
    std::string Class;       // empty: no "; Class=" part
    bool Main = false;       // "; [Main]"
    std::string Description; // empty: no " (...)" part
};

// One frame of a call stack. A frame outside the program has no debug data:
// unit and class stay empty and Line is 0; its procedure is the library's
// symbol and offset where the library's symbol table has one.
struct TCallStackEntry {
    std::uint64_t Address = 0;
    std::string Module; // file name only
    std::string Unit;
    std::string Class;
    std::string Procedure;
    int Line = 0;       // 0: no line known, the column stays empty
    int LineOffset = 0; // the line minus the procedure's first line
    TStackKind Kind = TStackKind::ExceptionThread;
    bool StackStart = false; // first entry of the exception thread's own stack
    TThreadHeader Thread;
    // The thread's stack could not be taken: this entry only carries the
    // thread's header, and its row stays empty.
    bool NoFrames = false;
    // The procedure comes from a symbol table, not from our debug data: it
    // names the code, but the exception ID does not count it, so the ID does
    // not change with a library's build.
    bool FromSymbolTable = false;

    bool HasDebugData() const { return !Procedure.empty() && !FromSymbolTable; }
};
