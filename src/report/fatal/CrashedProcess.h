#pragma once

#include "callstack/CallStackTypes.h"
#include "report/text/ReportData.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// One frame of another process's thread, innermost first.
struct TRemoteFrame {
    std::uint64_t Address = 0;
    bool Exact = false; // the very instruction, not a return address
};

// A process that crashed, read from the reporter process: its modules from
// /proc/<pid>/maps, its memory with process_vm_readv, and the stacks of its
// threads, unwound with elfutils' libdwfl: each thread is stopped only while
// its own stack is walked. Used by one thread.
class TCrashedProcess {
public:
    explicit TCrashedProcess(pid_t process);
    ~TCrashedProcess();
    TCrashedProcess(const TCrashedProcess&) = delete;
    TCrashedProcess& operator=(const TCrashedProcess&) = delete;

    // Attaches to every thread in turn and unwinds its stack from the
    // registers it has in user space (a thread blocked in a system call from
    // where the call returns to); false when not one thread could be traced
    // (tracing refused).
    bool UnwindThreads();
    // Unwinds a stack from `registers` (the faulting thread's as the signal
    // caught them); reads the memory only, so tracing is not needed. Where
    // the walk ends at an address that holds no code (a call through a bad
    // pointer), it goes on from the return address at the stack pointer.
    std::vector<TRemoteFrame> UnwindFrom(const TCpuContext& registers) const;
    // The threads in the order the system lists them, with their frames.
    const std::vector<std::pair<pid_t, std::vector<TRemoteFrame>>>& Threads() const {
        return threads_;
    }

    // The loaded modules (ELF objects only: fonts, caches and other mapped
    // files are none), the program first; `description` and `version` are
    // the program's.
    std::vector<TModuleInfo> Modules(const std::string& description,
                                     const std::string& version) const;
    // The file a module of the process was loaded from, and the amount to
    // subtract from an address in it to get the file's link-time address;
    // empty path for an address outside the mapped ranges of every module.
    struct TPlace {
        std::string Path;
        std::uint64_t Bias = 0;
    };
    TPlace PlaceOf(std::uint64_t address) const;
    // "poll+0x4f": the symbol-table name of the code at `code`, or empty.
    std::string SymbolAt(std::uint64_t code, std::uint64_t address) const;
    // The program's own file, as the process has it mapped.
    std::string ProgramPath() const { return programPath_; }
    // Where the program is loaded: its addresses less their link-time ones.
    std::uint64_t ProgramBase() const;

    // Whether `address` lies where the stack of a thread whose stack pointer
    // is `stackPointer` runs out: in the guard mapping below it, or in the
    // gap the system keeps free below the lowest page of a growing stack.
    bool InStackGuard(std::uint64_t address, std::uint64_t stackPointer) const;

    TMemoryDump Read(std::uint64_t address, std::size_t size) const;

private:
    struct TDwfl;
    struct TMapping {
        std::uint64_t Start = 0, End = 0;
        bool Accessible = false; // neither ---p nor a guard
        std::string Path;        // empty for anonymous memory
    };
    static std::vector<TMapping> ReadMappings(pid_t process);
    const TMapping* MappingAt(std::uint64_t address) const;

    pid_t process_;
    std::vector<TMapping> mappings_;
    std::unique_ptr<TDwfl> dwfl_;
    std::string programPath_;
    std::vector<std::pair<pid_t, std::vector<TRemoteFrame>>> threads_;
};
