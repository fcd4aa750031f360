#include "report/FatalFaultHandler.h"

#include "report/FatalFault.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <typeinfo>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Everything the handler needs, made at start-up; read-only afterwards
// except `pipeRead`/`pipeWrite`, which the one handler that runs closes.
struct TPrepared {
    int Executable = -1; // this program's file, as it was started
    int PipeRead = -1, PipeWrite = -1;
    char Program[256] = {};
    char Option[32] = {};
    char* Arguments[3] = {};
};
TPrepared prepared;

// The record the handler fills: static, since the signal stack is small.
TFatalFault fault;

// The thread that handles a fault, 0 while none does. A second fault on it
// ends the process at once; a fault on another thread waits for the first
// report to end the process.
std::atomic<pid_t> handlingThread{0};

void CopyText(char* to, std::size_t size, const char* from) {
    const std::size_t length = strnlen(from, size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

// The signal's default action, now, on this thread.
[[noreturn]] void Reraise(int signal) {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    syscall(SYS_tgkill, getpid(), gettid(), signal);
    _exit(128 + signal); // a default action that did not end the process
}

TCpuContext ContextOf(const ucontext_t& context) {
    const greg_t* r = context.uc_mcontext.gregs;
    auto u = [](greg_t value) { return static_cast<std::uint64_t>(value); };
    TCpuContext cpu;
    cpu.Valid = true;
    cpu.RAX = u(r[REG_RAX]), cpu.RBX = u(r[REG_RBX]), cpu.RCX = u(r[REG_RCX]);
    cpu.RDX = u(r[REG_RDX]), cpu.RSI = u(r[REG_RSI]), cpu.RDI = u(r[REG_RDI]);
    cpu.RBP = u(r[REG_RBP]), cpu.RSP = u(r[REG_RSP]), cpu.RIP = u(r[REG_RIP]);
    cpu.R8 = u(r[REG_R8]), cpu.R9 = u(r[REG_R9]), cpu.R10 = u(r[REG_R10]);
    cpu.R11 = u(r[REG_R11]), cpu.R12 = u(r[REG_R12]), cpu.R13 = u(r[REG_R13]);
    cpu.R14 = u(r[REG_R14]), cpu.R15 = u(r[REG_R15]);
    return cpu;
}

// Copies this process's memory by the kernel, so that a bad address gives
// nothing rather than a second fault. Returns the bytes copied.
std::size_t CopyOwnMemory(void* to, std::uint64_t from, std::size_t size) {
    iovec local{to, size};
    iovec remote{reinterpret_cast<void*>(from), size};
    const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    return copied > 0 ? static_cast<std::size_t>(copied) : 0;
}

void Capture(int signal, const siginfo_t& info, const ucontext_t& context) {
    fault.Process = getpid();
    fault.Thread = gettid();
    fault.Signal = signal;
    fault.Info = info;
    fault.Context = ContextOf(context);
    fault.ErrorCode = static_cast<std::uint64_t>(context.uc_mcontext.gregs[REG_ERR]);
    // The unwinder reads the code at every address it meets; code that
    // cannot be read (a jump to address 0) would fault it, so the walk is
    // left to the reporter then.
    std::uint8_t code = 0;
    fault.Trace.Count = 0;
    if (CopyOwnMemory(&code, fault.Context.RIP, 1) == 1)
        WalkStack(fault.Trace, fault.Context.RIP);
    fault.Trace.TopIsExact = fault.Trace.Count > 0 && fault.Trace.Frames[0] == fault.Context.RIP;
    fault.StackSize = static_cast<std::uint32_t>(
        CopyOwnMemory(fault.Stack, fault.Context.RSP, sizeof fault.Stack));
    std::memcpy(&fault.Threads, &SignalThreads(), sizeof fault.Threads);
}

bool WriteAll(int to, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(to, at, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        at += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Starts the reporter on the prepared executable with the pipe as its
// standard input, lets it trace this process, hands it the record and
// waits until it has done.
void RunReporter() {
    const pid_t child = vfork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(prepared.PipeRead, STDIN_FILENO);
        syscall(SYS_execveat, prepared.Executable, "", prepared.Arguments, environ, AT_EMPTY_PATH);
        _exit(127);
    }
    close(prepared.PipeRead);
    if (child < 0)
        return;
    prctl(PR_SET_PTRACER, static_cast<unsigned long>(child), 0, 0, 0);
    WriteAll(prepared.PipeWrite, &fault, sizeof fault);
    close(prepared.PipeWrite);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
    pid_t expected = 0;
    if (!handlingThread.compare_exchange_strong(expected, gettid())) {
        if (expected == gettid())
            Reraise(signal);
        // Another thread is reporting; the process ends when it is done.
        for (;;)
            pause();
    }
    Capture(signal, *info, *static_cast<const ucontext_t*>(context));
    RunReporter();
    Reraise(signal);
}

// An exception nobody caught, or one that left a noexcept function: note
// its type and message for the report, then abort into the handler above.
[[noreturn]] void OnTerminate() {
    fault.Terminated = true;
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        int status = 0;
        char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        CopyText(fault.UncaughtType, sizeof fault.UncaughtType, status == 0 ? name : type->name());
        std::free(name);
        try {
            std::rethrow_exception(std::current_exception());
        } catch (const std::exception& failure) {
            CopyText(fault.UncaughtMessage, sizeof fault.UncaughtMessage, failure.what());
        } catch (...) {
        }
    }
    std::abort();
}

// Moves a descriptor above the standard ones, which a program started with
// them closed hands out first: the reporter's standard input must not
// replace the executable or the pipe.
int AboveStandard(int descriptor) {
    if (descriptor < 0 || descriptor > STDERR_FILENO)
        return descriptor;
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(descriptor);
    return moved;
}

bool Prepare() {
    prepared.Executable = AboveStandard(open("/proc/self/exe", O_RDONLY | O_CLOEXEC));
    int ends[2];
    if (prepared.Executable < 0 || pipe2(ends, O_CLOEXEC) != 0)
        return false;
    prepared.PipeRead = AboveStandard(ends[0]);
    prepared.PipeWrite = AboveStandard(ends[1]);
    char path[sizeof prepared.Program] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    CopyText(prepared.Program, sizeof prepared.Program, length > 0 ? path : "device-finder");
    CopyText(prepared.Option, sizeof prepared.Option, kFatalReportOption);
    prepared.Arguments[0] = prepared.Program;
    prepared.Arguments[1] = prepared.Option;
    prepared.Arguments[2] = nullptr;
    return true;
}

} // namespace

void InstallFatalFaultHandler() {
    if (!Prepare())
        return;
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    // SA_NODEFER lets a fault inside the handler reach it, to end the
    // process at once; SIGPIPE stays blocked, so a reporter that died
    // early makes the write fail instead of ending the process silently.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGPIPE);
    for (int signal : kFatalSignals)
        sigaction(signal, &action, nullptr);
    std::set_terminate(OnTerminate);
}

bool FatalFaultInProgress() {
    return handlingThread.load() != 0;
}
