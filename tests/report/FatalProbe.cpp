// A program that dies on purpose, in the way its command line names, with the
// fatal-fault handler installed. As the reporter of itself it writes the
// report to standard error. "--refuse-tracing" first forbids ptrace to it and
// its reporter, as a container's seccomp policy would.
#include "callstack/ThreadsList.h"
#include "net/IdThread.h"
#include "platform/ProgramFile.h"
#include "report/fatal/FatalFaultHandler.h"
#include "report/fatal/ReporterProcess.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <map>
#include <stdexcept>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

volatile int zero = 0, seven = 7;

[[gnu::noinline]] int ReadNull() {
    return *static_cast<volatile int*>(nullptr);
}

int (*volatile nowhere)() = nullptr;

[[gnu::noinline]] int CallNull() {
    return nowhere() + 1;
}

[[gnu::noinline]] int JumpIntoStack() {
    // A return instruction on the stack, which is not executable.
    unsigned char code[16] = {0xc3};
    int (*const run)() = reinterpret_cast<int (*)()>(reinterpret_cast<std::uintptr_t>(code));
    return run() + code[1];
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

// Runs the rest of the command line from a copy of this program that removes
// its own file first ("--deleted"), as an update may while a program runs.
int RunDeleted(char** argv, int next) {
    const std::string self = ProgramFile();
    const std::string copy = self + "-deleted";
    std::ifstream from(self, std::ios::binary);
    std::ofstream to(copy, std::ios::binary | std::ios::trunc);
    to << from.rdbuf();
    to.close();
    chmod(copy.c_str(), 0700);
    argv[next] = const_cast<char*>("--deleted");
    execv(copy.c_str(), argv);
    return 3;
}

// Set by "--copy": the reporter's dialog is answered with the copy box ticked.
constexpr const char* kCopyVariable = "FATAL_PROBE_COPY";

TReportFrontEnd ProbeFrontEnd() {
    TReportFrontEnd frontEnd;
    frontEnd.Routines = {{kHookDoException, TIdThread::DoExceptionAddress()}};
    frontEnd.Description = "fatal-probe";
    frontEnd.Version = "1.0.0.0";
    frontEnd.Present = [](const TPresentation& presentation) {
        std::fwrite(presentation.Text.data(), 1, presentation.Text.size(), stderr);
        TPresentationResult result;
        result.CopyToClipboard = std::getenv(kCopyVariable) != nullptr;
        return result;
    };
    frontEnd.CopyToClipboard = [](const std::string& text) {
        std::fprintf(stderr, "Copied: %zu bytes\n", text.size());
    };
    return frontEnd;
}

} // namespace

int main(int argc, char** argv) {
    if (IsReporterProcess(argc, argv))
        return RunReporterProcess(ProbeFrontEnd());
    StartCrashReporting(ProbeFrontEnd());
    InstallFatalFaultHandler();
    // A mapped file that is no module, as a program maps its fonts.
    const int text = open("/etc/os-release", O_RDONLY | O_CLOEXEC);
    if (text >= 0)
        mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, text, 0);
    int next = 1;
    if (next < argc && std::strcmp(argv[next], "--refuse-tracing") == 0) {
        RefuseTracing();
        ++next;
    }
    if (next < argc && std::strcmp(argv[next], "--copy") == 0) {
        setenv(kCopyVariable, "1", 1);
        ++next;
    }
    if (next < argc && std::strcmp(argv[next], "--run-deleted") == 0)
        return RunDeleted(argv, next);
    if (next < argc && std::strcmp(argv[next], "--deleted") == 0) {
        unlink(ProgramFile().c_str());
        ++next;
    }
    const std::map<std::string, int (*)()> faults = {
        {"null-read", ReadNull},
        {"null-call", CallNull},
        {"jump-into-stack", JumpIntoStack},
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
