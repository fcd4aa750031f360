#include "report/fatal/FatalFaultHandler.h"

#include "callstack/SignalStack.h"
#include "platform/ProgramFile.h"
#include "report/fatal/FatalFault.h"

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <typeinfo>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Everything the handler needs, made at start-up; read-only afterwards
// except the descriptors, which the one handler that runs closes.
struct TPrepared {
    int Executable = -1;  // this program's file, as it was started
    int Socket = -1;      // the handler's end of the socket to the reporter
    int ReporterEnd = -1; // the reporter's end, its standard input
    std::atomic<int> Display{-1};
    char Option[32] = {};
    char* Arguments[3] = {};
};
TPrepared prepared;

// The record the handler fills: static, since the signal stack is small.
TFatalFault fault;

// What std::terminate noted about the exception that ended this thread.
// Each thread's own, so a terminate on one thread never writes into the
// record of a fault another thread is reporting.
struct TUncaught {
    bool Set;
    char Type[sizeof fault.UncaughtType];
    char Message[sizeof fault.UncaughtMessage];
};
thread_local TUncaught uncaught;

// The thread that handles a fault, 0 while none does. A second fault on it
// ends the process at once, unless it came from the in-process stack walk;
// a fault on another thread waits for the first report to end the process.
std::atomic<pid_t> handlingThread{0};

// Where a fault inside the in-process walk returns to, and whether the
// walk is under way; touched only by the handling thread.
sigjmp_buf walkEscape;
volatile sig_atomic_t walking = 0;

// Set by the reporter's child when the program could not be executed: it
// shares this memory until then.
volatile int execFailure = 0;

void CopyText(char* to, std::size_t size, const char* from) {
    const std::size_t length = strnlen(from, size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

void RestoreDefault(int signal) {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
}

// The signal's default action, now, on this thread.
[[noreturn]] void Reraise(int signal) {
    RestoreDefault(signal);
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

// What the kernel and this thread tell of the fault; system calls and
// copies of the handler's own memory only.
void Capture(int signal, const siginfo_t& info, const ucontext_t& context) {
    fault.Process = getpid();
    fault.Thread = gettid();
    fault.Signal = signal;
    fault.Info = info;
    fault.Context = ContextOf(context);
    fault.ErrorCode = static_cast<std::uint64_t>(context.uc_mcontext.gregs[REG_ERR]);
    fault.StackSize = static_cast<std::uint32_t>(
        CopyOwnMemory(fault.Stack, fault.Context.RSP, sizeof fault.Stack));
    fault.Terminated = uncaught.Set;
    if (uncaught.Set) {
        std::memcpy(fault.UncaughtType, uncaught.Type, sizeof fault.UncaughtType);
        std::memcpy(fault.UncaughtMessage, uncaught.Message, sizeof fault.UncaughtMessage);
    }
}

// The faulting thread's stack, walked in-process: only when the reporter
// cannot trace, since a corrupted stack faults the unwinder. Such a fault
// comes back here, and the frames walked until then are kept.
void WalkFaultingStack() {
    fault.Trace.Count = 0;
    // The unwinder reads the code at every address it meets; code that
    // cannot be read (a jump to address 0) is not walked.
    std::uint8_t code = 0;
    if (CopyOwnMemory(&code, fault.Context.RIP, 1) == 1 && sigsetjmp(walkEscape, 1) == 0) {
        walking = 1;
        WalkStack(fault.Trace, fault.Context.RIP);
    }
    walking = 0;
    fault.Trace.TopIsExact = fault.Trace.Count > 0 && fault.Trace.Frames[0] == fault.Context.RIP;
}

bool SendAll(int to, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = send(to, at, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        at += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// The registered threads, each slot copied before it is sent so a thread
// that registers meanwhile cannot tear it; an empty slot ends the list.
bool SendThreads(int to) {
    for (const TSignalThread& slot : SignalThreads().Threads) {
        if (__atomic_load_n(&slot.Id, __ATOMIC_ACQUIRE) == 0)
            continue;
        TSignalThread copy;
        std::memcpy(&copy, &slot, sizeof copy);
        if (copy.Id != 0 && !SendAll(to, &copy, sizeof copy))
            return false;
    }
    static const TSignalThread end;
    return SendAll(to, &end, sizeof end);
}

char ReadAnswer(int from) {
    char answer = 0;
    while (read(from, &answer, 1) < 0 && errno == EINTR) {
    }
    return answer;
}

// "<program>: the crash report could not be made: fork failed: <reason>"
void SayReporterFailed(const char* step, int error) {
    char line[512] = {};
    const char* name = std::strrchr(fault.Program, '/');
    for (const char* part : {name != nullptr ? name + 1 : fault.Program,
                             ": the crash report could not be made: ", step,
                             " failed: ", strerrordesc_np(error), "\n"})
        CopyText(line + std::strlen(line), sizeof line - std::strlen(line),
                 part != nullptr ? part : "unknown error");
    while (write(STDERR_FILENO, line, std::strlen(line)) < 0 && errno == EINTR) {
    }
}

// Starts the reporter on the prepared executable with its end of the socket
// as its standard input, lets it trace this process, hands it the record
// and waits until it has done.
void RunReporter() {
    execFailure = 0;
    const pid_t child = vfork();
    if (child == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(prepared.ReporterEnd, STDIN_FILENO);
        syscall(SYS_execveat, prepared.Executable, "", prepared.Arguments, environ, AT_EMPTY_PATH);
        execFailure = errno;
        _exit(127);
    }
    const int forkFailure = errno;
    close(prepared.ReporterEnd);
    if (child < 0 || execFailure != 0) {
        SayReporterFailed(child < 0 ? "fork" : "exec", child < 0 ? forkFailure : execFailure);
        if (child > 0)
            waitpid(child, nullptr, 0);
        return;
    }
    prctl(PR_SET_PTRACER, static_cast<unsigned long>(child), 0, 0, 0);
    if (SendAll(prepared.Socket, &fault, sizeof fault) && SendThreads(prepared.Socket) &&
        ReadAnswer(prepared.Socket) == kWalkRequest) {
        WalkFaultingStack();
        SendAll(prepared.Socket, &fault.Trace, sizeof fault.Trace);
    }
    close(prepared.Socket);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
    pid_t expected = 0;
    if (!handlingThread.compare_exchange_strong(expected, gettid())) {
        if (expected == gettid() && walking)
            siglongjmp(walkEscape, 1);
        if (expected == gettid())
            Reraise(signal);
        // Another thread is reporting; the process ends when it is done.
        for (;;)
            pause();
    }
    Capture(signal, *info, *static_cast<const ucontext_t*>(context));
    // Shutting the connection down makes the display server drop every
    // grab of this process, which would lock the reporter's dialog out.
    if (const int display = prepared.Display.load(); display >= 0)
        shutdown(display, SHUT_RDWR);
    RunReporter();
    // A fault the kernel raised comes again when its instruction runs again,
    // now with the default action: the core then shows the fault itself. A
    // sent signal, and abort's, would not come again.
    if (info->si_code > 0 && signal != SIGABRT) {
        RestoreDefault(signal);
        return;
    }
    Reraise(signal);
}

// An exception nobody caught, or one that left a noexcept function: note
// its type and message for this thread's report, then abort into the
// handler above.
[[noreturn]] void OnTerminate() {
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        int status = 0;
        char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
        CopyText(uncaught.Type, sizeof uncaught.Type, status == 0 ? name : type->name());
        std::free(name);
        try {
            std::rethrow_exception(std::current_exception());
        } catch (const std::exception& failure) {
            CopyText(uncaught.Message, sizeof uncaught.Message, failure.what());
        } catch (...) {
        }
    }
    uncaught.Set = true;
    std::abort();
}

// The toolkit ends the process when its display connection breaks, as it
// does once the handler has shut it down: a thread other than the one
// reporting a fault waits here instead, and the fault ends the process.
void HoldExitDuringReport() {
    const pid_t reporting = handlingThread.load();
    if (reporting != 0 && reporting != gettid())
        for (;;)
            pause();
}

// Moves a descriptor above the standard ones, which a program started with
// them closed hands out first: the reporter's standard input must not
// replace the executable or the socket.
int AboveStandard(int descriptor) {
    if (descriptor < 0 || descriptor > STDERR_FILENO)
        return descriptor;
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    close(descriptor);
    return moved;
}

bool Prepare() {
    const std::string program = ProgramFile();
    CopyText(fault.Program, sizeof fault.Program,
             program.empty() ? "device-finder" : program.c_str());
    // /proc/self/exe still opens a program whose file was since replaced;
    // started through the loader, it is the loader.
    prepared.Executable = AboveStandard(
        open(StartedThroughLoader() ? program.c_str() : "/proc/self/exe", O_RDONLY | O_CLOEXEC));
    int ends[2];
    if (prepared.Executable < 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    prepared.Socket = AboveStandard(ends[0]);
    prepared.ReporterEnd = AboveStandard(ends[1]);
    CopyText(prepared.Option, sizeof prepared.Option, kFatalReportOption);
    prepared.Arguments[0] = fault.Program;
    prepared.Arguments[1] = prepared.Option;
    prepared.Arguments[2] = nullptr;
    return true;
}

} // namespace

void InstallFatalFaultHandler() {
    EnsureSignalStack();
    if (!Prepare())
        return;
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    // SA_NODEFER lets a fault inside the handler reach it: from the stack
    // walk, to give up the walk; elsewhere, to end the process at once.
    // SIGPIPE stays blocked, so a reporter that died early makes the sending
    // fail instead of ending the process silently.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGPIPE);
    for (int signal : kFatalSignals)
        sigaction(signal, &action, nullptr);
    std::set_terminate(OnTerminate);
}

void SetFatalFaultDisplaySocket(int socket) {
    // A copy of our own: the socket stays the display's even after the
    // toolkit closes its descriptor and the number is handed out again.
    const int own = socket >= 0 ? fcntl(socket, F_DUPFD_CLOEXEC, STDERR_FILENO + 1) : -1;
    if (own >= 0)
        prepared.Display.store(own);
    // Registered after the toolkit's own, so it runs before them.
    std::atexit(HoldExitDuringReport);
}

bool FatalFaultInProgress() {
    return handlingThread.load() != 0;
}
