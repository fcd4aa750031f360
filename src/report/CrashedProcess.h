#pragma once

#include "report/ReportData.h"

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

    // Attaches to every thread in turn and unwinds its stack; false when
    // not one thread could be traced (tracing refused).
    bool UnwindThreads();
    // The threads in the order the system lists them, with their frames.
    const std::vector<std::pair<pid_t, std::vector<TRemoteFrame>>>& Threads() const {
        return threads_;
    }

    // The loaded modules, the program first; `description` and `version`
    // are the program's.
    std::vector<TModuleInfo> Modules(const std::string& description,
                                     const std::string& version) const;
    // The file a module of the process was loaded from, and the amount to
    // subtract from an address in it to get the file's link-time address;
    // empty path for an address outside any file.
    struct TPlace {
        std::string Path;
        std::uint64_t Bias = 0;
    };
    TPlace PlaceOf(std::uint64_t address) const;
    // The program's own file, as the process has it mapped.
    std::string ProgramPath() const { return programPath_; }

    TMemoryDump Read(std::uint64_t address, std::size_t size) const;

private:
    struct TDwfl;
    pid_t process_;
    std::unique_ptr<TDwfl> dwfl_;
    std::string programPath_;
    std::vector<std::pair<pid_t, std::vector<TRemoteFrame>>> threads_;
};
