#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct TRun {
    int Signal = 0; // the signal that ended the probe, 0 when it exited
    std::string Report;
};

bool Has(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
}

// Runs the probe with `arguments`, its standard error into a file and its
// standard input closed, as a program started from a service may be.
TRun RunProbe(const std::string& arguments, bool underDebugger = false) {
    // One file per test process: the tests of this program run side by side.
    const std::string output =
        ::testing::TempDir() + "fatal-probe-" + std::to_string(getpid()) + ".err";
    const std::string debugger = "gdb -q -nx -batch -ex run -ex continue -ex 'print "
                                 "$_siginfo.si_code' -ex 'bt 1' -ex continue --args ";
    const std::string line = std::string("exec ") + (underDebugger ? debugger : "") + FATAL_PROBE +
                             " " + arguments +
                             (underDebugger ? " >" + output + " 2>&1" : " 2>" + output) + " <&-";
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t child = -1;
    posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream file(output, std::ios::binary);
    TRun run{WIFSIGNALED(status) ? WTERMSIG(status) : 0,
             {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}};
    for (int signal = 1; underDebugger && signal < 32; ++signal)
        if (Has(run.Report, std::string("terminated with signal SIG") + sigabbrev_np(signal) + ","))
            run.Signal = signal;
    return run;
}

// The rows of the Modules table, after the program's own, whose file is no
// ELF object, as "folder/name"; the kernel's vDSO has no file.
std::string ModulesNotElf(const std::string& report) {
    const std::size_t table = report.find("Modules Information:");
    std::istringstream lines(report.substr(table == std::string::npos ? report.size() : table));
    std::string line, wrong;
    for (int row = 0; std::getline(lines, line) && line != "\r";) {
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '|');)
            cells.push_back(cell.substr(0, cell.find_last_not_of(' ') + 1));
        if (cells.size() < 8 || cells[1] == "Handle" || row++ == 0 || cells[2].starts_with("[vdso"))
            continue;
        char magic[4] = {};
        std::ifstream(cells[7] + "/" + cells[2], std::ios::binary).read(magic, 4);
        if (std::string(magic, 4) != "\x7f"
                                     "ELF")
            wrong += cells[7] + "/" + cells[2] + " ";
    }
    return wrong;
}

// A stack that reaches the program's entry, and another thread's uncaught
// exception, which no fault's report may carry.
constexpr const char* kMain = "\\|main *\\|";
constexpr const char* kOtherThreads = "uncaught exception std::runtime_error";
// A corrupted stack or frame pointer ends the walk where it can go no further.
constexpr const char* kAnyStack = "";

class FatalFault : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "the sanitizers take these faults first and end the program themselves";
#endif
    }
};

// Each way a program dies is reported with its signal's name, our message
// line, and the faulting function named in the exception thread's stack
// (walked on past a bad call to `main`, from a deleted program file too);
// only ELF objects are listed as modules, the stack's slots are dumped; then
// the process ends by the signal, as it would have without reporting.
// Without a reporter, one line says why; a debugger's last stop (as a core)
// shows the faulting function and the kernel's si_code.
TEST_F(FatalFault, EachFaultIsReportedAndEndsTheProcessByItsSignal) {
    struct TCase {
        const char* Fault;
        int Signal;
        const char* Message;
        const char* Procedure;
        const char* Also = kMain;          // found in the report too
        const char* Never = kOtherThreads; // found nowhere in it
        // Whether the stack pointer points into the stack; unknown where the
        // stack ran out, as that depends on which instruction met the guard.
        std::optional<bool> StackReadable = true;
        const char* Thread = "\\[Main\\]"; // the exception thread's header ends so
        bool UnderDebugger = false;
    } cases[] = {
        {"null-read", SIGSEGV,
         "Segmentation fault at [0-9A-F]{16}:_read of address "
         "0000000000000000 \\(address not mapped\\)\\.",
         "ReadNull"},
        {"null-call", SIGSEGV, "execution of address 0000000000000000", "CallNull"},
        {"read-only-write", SIGSEGV, "write of address [0-9A-F]{16} \\(invalid permissions\\)",
         "WriteReadOnly"},
        {"divide-by-zero", SIGFPE, "Arithmetic fault at [0-9A-F]{16}:_integer divide by zero\\.",
         "DivideByZero"},
        {"abort", SIGABRT, "Abort at [0-9A-F]{16}:_the program called abort\\(\\)\\.", "CallAbort",
         "\\|libc\\.so\\.6 *\\| *\\| *\\|abort\\+0x[0-9a-f]+ *\\|"},
        {"recursion", SIGSEGV, "Segmentation fault at [0-9A-F]{16}:_write of address", "Recurse",
         "stack overflow\\)\\.", kOtherThreads, std::nullopt},
        {"jump-into-stack", SIGSEGV,
         "execution of address [0-9A-F]{16} \\(invalid permissions\\)\\.", "JumpIntoStack",
         "Module Name +: \r", "stack overflow"},
        {"--run-deleted null-read", SIGSEGV, "read of address 0000000000000000", "ReadNull"},
        {"--copy divide-by-zero", SIGFPE, "integer divide by zero", "DivideByZero",
         "\\r\\nCopied: \\d+ bytes\\n"},
        {"throw-int", SIGABRT, "uncaught exception int\\.", "ThrowInt"},
        {"bad-stack-pointer", SIGSEGV, "Segmentation fault at", "BadStackPointer", kAnyStack,
         kOtherThreads, false},
        {"bad-frame-pointer", SIGSEGV, "read of address 0000000000000000", "BadFramePointer",
         kAnyStack},
        {"--refuse-tracing bad-frame-pointer", SIGSEGV, "read of address 0000000000000000",
         "BadFramePointer", kAnyStack},
        {"thread-overflow", SIGSEGV, "write of address", "Recurse", kMain, kOtherThreads,
         std::nullopt, " +\\|"},
        {"70th-thread-overflow", SIGSEGV, "write of address", "Recurse", kMain, kOtherThreads,
         std::nullopt, "Class=TProbeThread"},
        {"terminate-racing-fault", SIGSEGV, "Segmentation fault at", "ReadNull"},
        {"descriptors-used-up", SIGSEGV, "Segmentation fault at", "ReadNull"},
        {"process-limit", SIGSEGV,
         "fatal-probe: the crash report could not be made: fork failed: Resource temporarily "
         "unavailable\\n",
         nullptr},
        {"null-read", SIGSEGV, "\\$1 = 1\\n#0 [^\\n]*ReadNull", "ReadNull", kMain,
         "tgkill|raise|pthread_kill", true, "\\[Main\\]", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fault);
        const TRun run = RunProbe(c.Fault, c.UnderDebugger);
        EXPECT_EQ(run.Signal, c.Signal);
        EXPECT_TRUE(Has(run.Report, c.Message)) << run.Report;
        EXPECT_FALSE(Has(run.Report, c.Never)) << run.Report;
        if (c.Procedure == nullptr)
            continue;
        EXPECT_TRUE(Has(run.Report, std::string("Type +: SIG") + sigabbrev_np(c.Signal) + "\r"))
            << run.Report;
        EXPECT_TRUE(Has(run.Report, std::string("\\|") + c.Procedure + " *\\|")) << run.Report;
        EXPECT_TRUE(
            Has(run.Report,
                std::string("\\*Exception Thread: ID=\\d+; Priority=-?\\d+;? ?") + c.Thread))
            << run.Report;
        EXPECT_TRUE(Has(run.Report, c.Also)) << run.Report;
        EXPECT_EQ(ModulesNotElf(run.Report), "");
        if (c.StackReadable) {
            EXPECT_EQ(Has(run.Report, "Memory Dump:\r\n-+   -+\r\n[0-9A-F]{16}: [0-9A-F]{16}"),
                      *c.StackReadable)
                << run.Report;
        }
    }
}

// When the system forbids tracing, the report still comes, from what the
// handler saw, and says why the other threads are missing.
TEST_F(FatalFault, RefusedTracingGivesTheShortReportWithItsNote) {
    const TRun run = RunProbe("--refuse-tracing null-read");
    EXPECT_EQ(run.Signal, SIGSEGV);
    EXPECT_TRUE(Has(run.Report, "Note +: The other threads could not be read")) << run.Report;
    EXPECT_TRUE(Has(run.Report, "\\|ReadNull *\\|")) << run.Report;
}

} // namespace
