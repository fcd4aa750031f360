#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What one crash report is made of. Everything is gathered first (general
// items, stacks, modules, processes, CPU state), then laid out as text. The
// texts are byte strings in code page 936, like every 8-bit text here.

// One label/value line of a general block. A hidden item is not written but
// still takes its number.
struct TReportItem {
    std::string Label;
    std::string Value;
    bool Show = true;
};

// One numbered general block ("Application", "Exception", ...).
struct TReportBlock {
    std::string Header;
    std::vector<TReportItem> Items;
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
// unit, class, procedure stay empty and Line is 0.
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

    bool HasDebugData() const { return !Procedure.empty(); }
};

// One loaded module (shared object or the program itself).
struct TModuleInfo {
    std::uint64_t Handle = 0; // load address
    std::string Name;         // file name only
    std::string Description;
    std::string Version; // "a.b.c.d", empty when unknown
    std::uint64_t Size = 0;
    std::string Modified;         // the file's modification time, formatted
    std::string Path;             // the folder
    std::uint64_t MappedSize = 0; // bytes from Handle that the module's segments span
};

// Priority classes, with the original numbers the report writes by name.
enum class TPriorityClass : std::uint32_t {
    Low = 64,
    BelowNormal = 0x4000,
    Normal = 32,
    AboveNormal = 0x8000,
    High = 128,
    RealTime = 256
};

// One running process.
struct TProcessInfo {
    std::uint32_t Id = 0;
    std::string Name;
    std::string Description;
    std::string Version;
    std::uint64_t Memory = 0; // resident bytes
    TPriorityClass Priority = TPriorityClass::Normal;
    std::uint32_t Threads = 0; // 0 is written "??"
    std::string Path;          // the executable's folder
};

// The x86-64 general registers of a thread at the moment it was stopped.
struct TCpuContext {
    bool Valid = false; // false: every register is written as "?"
    std::uint64_t RAX = 0, RBX = 0, RCX = 0, RDX = 0, RSI = 0, RDI = 0, RBP = 0, RSP = 0;
    std::uint64_t R8 = 0, R9 = 0, R10 = 0, R11 = 0, R12 = 0, R13 = 0, R14 = 0, R15 = 0;
    std::uint64_t RIP = 0;
};

// Bytes copied from the process's memory at Address. Empty when the area
// could not be read.
struct TMemoryDump {
    std::uint64_t Address = 0;
    std::vector<std::uint8_t> Bytes;
};

// Everything one report is built from.
struct TCrashReport {
    std::vector<TReportBlock> General;
    std::vector<TCallStackEntry> CallStack; // exception thread first
    std::vector<TModuleInfo> Modules;
    std::vector<TProcessInfo> Processes;
    TCpuContext Context;     // the exception thread's registers
    TMemoryDump Stack;       // 128 bytes from the stack pointer
    TMemoryDump Memory;      // 256 bytes from the exception address
    std::string Disassembly; // the code around the exception address
};
