// A program that dies on purpose, in the way its command line names, with the
// fatal-fault handler installed. As the reporter of itself it writes the
// report to standard error. "--refuse-tracing" first forbids ptrace to it and
// its reporter, as a container's seccomp policy would.
#include "net/IdThread.h"
#include "report/FatalFaultHandler.h"
#include "report/ReporterProcess.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <map>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

namespace {

volatile int zero = 0, seven = 7;

[[gnu::noinline]] int ReadNull() {
    return *static_cast<volatile int*>(nullptr);
}

int (*volatile nowhere)() = nullptr;

[[gnu::noinline]] int CallNull() {
    return nowhere() + 1;
}

[[gnu::noinline]] int WriteReadOnly() {
    void* page = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
    return 0;
}

[[gnu::noinline]] int DivideByZero() {
    return seven / zero;
}

[[gnu::noinline]] int CallAbort() {
    std::abort();
}

[[gnu::noinline]] int Recurse() {
    volatile char frame[512];
    frame[0] = static_cast<char>(zero);
    return zero == 0 ? Recurse() + frame[0] : 0;
}

[[gnu::noinline]] int ThrowInt() {
    throw 42;
}

void RefuseTracing() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ptrace, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{sizeof filter / sizeof filter[0], filter};
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

TReportFrontEnd ProbeFrontEnd() {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = {{kHookDoException, TIdThread::DoExceptionAddress()}};
    frontEnd.Description = "fatal-probe";
    frontEnd.Version = "1.0.0.0";
    frontEnd.Present = [](const TPresentation& presentation) {
        std::fwrite(presentation.Text.data(), 1, presentation.Text.size(), stderr);
        return TPresentationResult{};
    };
    return frontEnd;
}

} // namespace

int main(int argc, char** argv) {
    if (IsReporterProcess(argc, argv))
        return RunReporterProcess(ProbeFrontEnd());
    StartCrashReporting(ProbeFrontEnd());
    InstallFatalFaultHandler();
    int next = 1;
    if (next < argc && std::strcmp(argv[next], "--refuse-tracing") == 0) {
        RefuseTracing();
        ++next;
    }
    const std::map<std::string, int (*)()> faults = {{"null-read", ReadNull},
                                                     {"null-call", CallNull},
                                                     {"read-only-write", WriteReadOnly},
                                                     {"divide-by-zero", DivideByZero},
                                                     {"abort", CallAbort},
                                                     {"recursion", Recurse},
                                                     {"throw-int", ThrowInt}};
    const auto fault = faults.find(next < argc ? argv[next] : "");
    if (fault != faults.end())
        return fault->second();
    return 2;
}
