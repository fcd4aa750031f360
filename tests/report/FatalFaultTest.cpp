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

// Runs the probe with `arguments`, its standard error into a file and its
// standard input closed, as a program started from a service may be.
TRun RunProbe(const std::string& arguments) {
    // One file per test process: the tests of this program run side by side.
    const std::string output =
        ::testing::TempDir() + "fatal-probe-" + std::to_string(getpid()) + ".err";
    const std::string line =
        std::string("exec ") + FATAL_PROBE + " " + arguments + " 2>" + output + " <&-";
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t child = -1;
    posix_spawn(&child, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream file(output, std::ios::binary);
    return {WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()}};
}

bool Has(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
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
TEST_F(FatalFault, EachFaultIsReportedAndEndsTheProcessByItsSignal) {
    struct TCase {
        const char* Fault;
        int Signal;
        const char* Message;
        const char* Procedure;
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
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Fault);
        const TRun run = RunProbe(c.Fault);
        EXPECT_EQ(run.Signal, c.Signal);
        EXPECT_TRUE(Has(run.Report, std::string("Type +: SIG") + sigabbrev_np(c.Signal) + "\r"))
            << run.Report;
        EXPECT_TRUE(Has(run.Report, c.Message)) << run.Report;
        EXPECT_TRUE(Has(run.Report, std::string("\\|") + c.Procedure + " *\\|")) << run.Report;
        EXPECT_TRUE(Has(run.Report, "\\*Exception Thread: ID=\\d+; Priority=-?\\d+; \\[Main\\]"))
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
