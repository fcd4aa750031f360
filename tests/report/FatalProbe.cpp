// A program that dies on purpose, in the way its command line names, with the
// fatal-fault handler installed. As the reporter of itself it writes the
// report to standard error. "--refuse-tracing" first forbids ptrace to it and
// its reporter, as a container's seccomp policy would.
#include "callstack/ThreadsList.h"
#include "net/IdThread.h"
#include "report/FatalFaultHandler.h"
#include "report/ReporterProcess.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>

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

// No frame pointer: the frame is found from the stack pointer alone.
[[gnu::naked]] int BadStackPointer() {
    asm("xor %esp, %esp\n\tpush %rax");
}

// The frame pointer ruined, then a fault: an unwinder following it reads 32.
[[gnu::noinline]] int BadFramePointer() {
    asm volatile("mov $16, %%rbp\n\tmovl 0, %%eax" ::: "rax", "memory");
    return 0;
}

int OverflowOnThread() {
    std::thread([] { Recurse(); }).join();
    return 0;
}

// Seventy registered threads, as a host with seventy adapters has
// listeners; the last one overflows its stack.
int OverflowOn70thThread() {
    std::atomic<int> registered{0};
    for (int i = 1; i <= 70; ++i)
        std::thread([&registered, i, creator = TThreadsList::Instance().CurrentCreator()] {
            TThreadRegistration registration("TProbeThread", "", creator);
            for (++registered; registered < 70;)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return i == 70 ? Recurse() : pause();
        }).detach();
    return pause();
}

// Another thread's uncaught exception while this thread's fault is reported.
int TerminateRacingFault() {
    std::thread([] {
        while (!FatalFaultInProgress()) {
        }
        throw std::runtime_error("while the fault is reported");
    }).detach();
    return ReadNull();
}

int DescriptorsUsedUp() {
    while (open("/dev/null", O_RDONLY) >= 0) {
    }
    return ReadNull();
}

int ProcessLimitReached() {
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        return 3;
    const rlimit none{0, 0};
    setrlimit(RLIMIT_NPROC, &none);
    return ReadNull();
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
    const std::map<std::string, int (*)()> faults = {
        {"null-read", ReadNull},
        {"null-call", CallNull},
        {"read-only-write", WriteReadOnly},
        {"divide-by-zero", DivideByZero},
        {"abort", CallAbort},
        {"recursion", Recurse},
        {"throw-int", ThrowInt},
        {"bad-stack-pointer", BadStackPointer},
        {"bad-frame-pointer", BadFramePointer},
        {"thread-overflow", OverflowOnThread},
        {"70th-thread-overflow", OverflowOn70thThread},
        {"terminate-racing-fault", TerminateRacingFault},
        {"descriptors-used-up", DescriptorsUsedUp},
        {"process-limit", ProcessLimitReached}};
    const auto fault = faults.find(next < argc ? argv[next] : "");
    if (fault != faults.end())
        return fault->second();
    return 2;
}
