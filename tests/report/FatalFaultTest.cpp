#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

class FatalFault : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "the sanitizers take these faults first and end the program themselves";
#endif
    }
};

// Each way a program dies is reported with its signal's name, our message
// line, and the faulting function named in the exception thread's stack;
// then the process ends by the signal, as it would have without reporting.
// Without a reporter, one line says why; a debugger's last stop (as a core)
// shows the faulting function and the kernel's si_code.
TEST_F(FatalFault, EachFaultIsReportedAndEndsTheProcessByItsSignal) {
    struct TCase {
        const char* Fault;
        int Signal;
        const char* Message;
        const char* Procedure;
        const char* Thread = "\\[Main\\]";
        const char* Absent = "uncaught exception std::runtime_error";
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
        {"abort", SIGABRT, "Abort at [0-9A-F]{16}:_the program called abort\\(\\)\\.", "CallAbort"},
        {"recursion", SIGSEGV, "Segmentation fault at [0-9A-F]{16}:_write of address", "Recurse"},
        {"throw-int", SIGABRT, "uncaught exception int\\.", "ThrowInt"},
        {"bad-stack-pointer", SIGSEGV, "Segmentation fault at", "BadStackPointer"},
        {"bad-frame-pointer", SIGSEGV, "read of address 0000000000000000", "BadFramePointer"},
        {"--refuse-tracing bad-frame-pointer", SIGSEGV, "read of address 0000000000000000",
         "BadFramePointer"},
        {"thread-overflow", SIGSEGV, "write of address", "Recurse", " +\\|"},
        {"70th-thread-overflow", SIGSEGV, "write of address", "Recurse", "Class=TProbeThread"},
        {"terminate-racing-fault", SIGSEGV, "Segmentation fault at", "ReadNull"},
        {"descriptors-used-up", SIGSEGV, "Segmentation fault at", "ReadNull"},
        {"process-limit", SIGSEGV,
         "fatal-probe: the crash report could not be made: fork failed: Resource temporarily "
         "unavailable\\n",
         nullptr},
        {"null-read", SIGSEGV, "\\$1 = 1\\n#0 [^\\n]*ReadNull", "ReadNull", "\\[Main\\]",
         "tgkill|raise|pthread_kill", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fault);
        const TRun run = RunProbe(c.Fault, c.UnderDebugger);
        EXPECT_EQ(run.Signal, c.Signal);
        EXPECT_TRUE(Has(run.Report, c.Message)) << run.Report;
        EXPECT_FALSE(Has(run.Report, c.Absent)) << run.Report;
        if (c.Procedure == nullptr)
            continue;
        EXPECT_TRUE(Has(run.Report, std::string("Type +: SIG") + sigabbrev_np(c.Signal) + "\r"))
            << run.Report;
        EXPECT_TRUE(Has(run.Report, std::string("\\|") + c.Procedure + " *\\|")) << run.Report;
        EXPECT_TRUE(
            Has(run.Report,
                std::string("\\*Exception Thread: ID=\\d+; Priority=-?\\d+;? ?") + c.Thread))
            << run.Report;
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
