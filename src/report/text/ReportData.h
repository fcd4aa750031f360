#pragma once

#include "callstack/CallStackTypes.h"

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
