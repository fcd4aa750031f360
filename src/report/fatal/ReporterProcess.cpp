#include "report/fatal/ReporterProcess.h"

#include "callstack/CallStack.h"
#include "callstack/ThreadStacks.h"
#include "platform/CodePage.h"
#include "platform/ProgramFile.h"
#include "report/CrashLog.h"
#include "report/ReportStartup.h"
#include "report/Restart.h"
#include "report/fatal/CrashedProcess.h"
#include "report/fatal/FatalFaultText.h"
#include "report/gather/CpuDump.h"
#include "report/gather/Disassembly.h"
#include "report/gather/GeneralItems.h"
#include "report/gather/ModuleList.h"
#include "report/gather/ProcessList.h"
#include "report/text/ReportText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sched.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kTracingRefused =
    "The other threads could not be read: the system refused to let the reporter trace "
    "the process.";

// The file name without its folder, in the report's code page.
std::string FileName(const std::string& path) {
    return Utf8ToGbk(path.substr(path.find_last_of('/') + 1));
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string ProcFile(pid_t process, const char* name) {
    return ReadFile("/proc/" + std::to_string(process) + "/" + name);
}

std::vector<std::string> CommandLineOf(pid_t process) {
    std::vector<std::string> arguments;
    std::istringstream text(ProcFile(process, "cmdline"));
    for (std::string argument; std::getline(text, argument, '\0');)
        arguments.push_back(argument);
    return arguments;
}

// When the process started: its start in clock ticks after boot, plus the boot time.
std::chrono::system_clock::time_point StartTimeOf(pid_t process) {
    const std::string stat = ProcFile(process, "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    std::istringstream system(ReadFile("/proc/stat"));
    std::uint64_t boot = 0;
    for (std::string word; system >> word;)
        if (word == "btime")
            system >> boot;
    const std::uint64_t ticks = field.empty() ? 0 : std::stoull(field);
    const auto since = std::chrono::milliseconds(ticks * 1000 / sysconf(_SC_CLK_TCK));
    return std::chrono::system_clock::time_point(std::chrono::seconds(boot)) + since;
}

const TSignalThread* SlotOf(const std::vector<TSignalThread>& threads, pid_t thread) {
    for (const TSignalThread& slot : threads)
        if (slot.Id == thread)
            return &slot;
    return nullptr;
}

// Names the crashed process's frames: the module from its maps, and for the
// program's own code unit, class, procedure and line from the debug data.
class TRemoteCallStack {
public:
    // `program` is the crashed program's file, which /proc/<pid>/exe does not
    // name when it was started through the dynamic loader.
    TRemoteCallStack(const TCrashedProcess& process, std::string program, const TDebugData* debug)
        : process_(process), program_(std::move(program)), debug_(debug) {}

    void AddStack(const std::vector<TRemoteFrame>& frames, TStackKind kind,
                  const TThreadHeader& header) {
        const std::size_t first = entries_.size();
        for (const TRemoteFrame& frame : frames) {
            TCallStackEntry entry = Name(frame);
            entry.Kind = kind;
            entry.Thread = header;
            entries_.push_back(std::move(entry));
        }
        if (kind == TStackKind::ExceptionThread && entries_.size() > first)
            entries_[first].StackStart = true;
        if (entries_.size() == first) {
            TCallStackEntry missing;
            missing.Kind = kind;
            missing.Thread = header;
            missing.NoFrames = true;
            entries_.push_back(std::move(missing));
        }
    }

    void AddCreator(const TSignalThread* slot) {
        if (slot == nullptr || slot->CreatorId == 0)
            return;
        TThreadHeader header;
        header.Id = static_cast<std::uint64_t>(slot->CreatorId);
        header.Priority = std::to_string(ThreadPriority(slot->CreatorId));
        header.Class = slot->CreatorClass;
        header.Description = slot->CreatorDescription;
        header.Main = slot->CreatorMain;
        std::vector<TRemoteFrame> frames;
        for (std::size_t i = 0; i < slot->CreatorStack.Count; ++i)
            frames.push_back({slot->CreatorStack.Frames[i], false});
        AddStack(frames, TStackKind::CallingThread, header);
    }

    std::vector<TCallStackEntry> Take() { return std::move(entries_); }

private:
    TCallStackEntry Name(const TRemoteFrame& frame) const {
        TCallStackEntry entry;
        entry.Address = frame.Address;
        const std::uint64_t code = frame.Exact ? frame.Address : frame.Address - 1;
        const TCrashedProcess::TPlace place = process_.PlaceOf(code);
        entry.Module = FileName(place.Path);
        if (!place.Path.empty() && WithoutDeletedMark(place.Path) == program_)
            NameFromDebugData(entry, debug_, code - place.Bias);
        if (!place.Path.empty())
            NameFromSymbol(entry, process_.SymbolAt(code, frame.Address));
        return entry;
    }

    const TCrashedProcess& process_;
    const std::string program_;
    const TDebugData* debug_;
    std::vector<TCallStackEntry> entries_;
};

TThreadHeader HeaderOf(const TFatalFault& fault, const std::vector<TSignalThread>& threads,
                       pid_t thread) {
    const TSignalThread* slot = SlotOf(threads, thread);
    TThreadHeader header;
    header.Id = static_cast<std::uint64_t>(thread);
    header.Priority = std::to_string(ThreadPriority(thread));
    header.Class = slot ? slot->Class : "";
    header.Description = slot ? slot->Description : "";
    header.Main = thread == fault.Process;
    return header;
}

// The faulting thread's frames from the instruction that faulted on: walked
// from the registers the signal caught, else from the unwinder's walk past
// the signal frame when it got there, else from the walk the handler made
// in-process, else the faulting instruction and the return address on top of
// the stack when it points into code.
std::vector<TRemoteFrame> ExceptionFrames(const TFatalFault& fault, const TCrashedProcess& process,
                                          const std::vector<TRemoteFrame>* unwound) {
    const std::uint64_t at = fault.Context.RIP;
    if (fault.Context.Valid) {
        std::vector<TRemoteFrame> frames = process.UnwindFrom(fault.Context);
        if (frames.size() > 1 && frames.front().Address == at)
            return frames;
    }
    if (unwound)
        for (std::size_t i = 1; i < unwound->size(); ++i)
            if ((*unwound)[i].Address == at && (*unwound)[i].Exact)
                return {unwound->begin() + static_cast<std::ptrdiff_t>(i), unwound->end()};
    if (!fault.Trace.TopIsExact) {
        // A call to a bad address left its return address on top of the stack.
        std::vector<TRemoteFrame> frames{{at, true}};
        std::uint64_t top = 0;
        if (fault.StackSize >= sizeof top) {
            std::memcpy(&top, fault.Stack, sizeof top);
            if (!process.PlaceOf(top - 1).Path.empty())
                frames.push_back({top, false});
        }
        return frames;
    }
    std::vector<TRemoteFrame> frames;
    for (std::size_t i = 0; i < fault.Trace.Count; ++i)
        frames.push_back({fault.Trace.Frames[i], i == 0});
    return frames;
}

std::vector<TCallStackEntry> CallStackOf(const TFatalFault& fault,
                                         const std::vector<TSignalThread>& threads,
                                         const TCrashedProcess& process, const TDebugData* debug) {
    TRemoteCallStack stack(process, fault.Program, debug);
    const std::vector<TRemoteFrame>* unwound = nullptr;
    for (const auto& [thread, frames] : process.Threads())
        if (thread == fault.Thread)
            unwound = &frames;
    TThreadHeader header = HeaderOf(fault, threads, fault.Thread);
    header.Starred = true;
    stack.AddStack(ExceptionFrames(fault, process, unwound), TStackKind::ExceptionThread, header);
    stack.AddCreator(SlotOf(threads, fault.Thread));
    for (const auto& [thread, frames] : process.Threads()) {
        if (thread == fault.Thread)
            continue;
        stack.AddStack(frames, TStackKind::RunningThread, HeaderOf(fault, threads, thread));
        stack.AddCreator(SlotOf(threads, thread));
    }
    return stack.Take();
}

void SetNote(std::vector<TReportBlock>& general, const std::string& note) {
    // The "Note" item closes the exception block, the second one.
    if (general.size() > 1 && !general[1].Items.empty())
        general[1].Items.back().Value = note;
}

std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

bool ReadAll(int from, void* data, std::size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = read(from, at, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// The crashed instance's start: its program's own path (so the new instance
// runs under the program's name), its command line, and the folder it was
// started in, which it keeps in its memory; the folder it was in at the
// fault only where that cannot be read.
TStartupInfo StartupOf(pid_t process) {
    const TCrashedProcess crashed(process);
    TStartupInfo startup;
    const std::string proc = "/proc/" + std::to_string(process);
    startup.Program = crashed.ProgramPath().empty() ? proc + "/exe" : crashed.ProgramPath();
    startup.Arguments = CommandLineOf(process);
    const TMemoryDump kept =
        crashed.Read(crashed.ProgramBase() + StartupFolderOffset(), kStartupFolderSize);
    const std::string folder(kept.Bytes.begin(),
                             std::find(kept.Bytes.begin(), kept.Bytes.end(), std::uint8_t{0}));
    if (!folder.empty()) {
        startup.WorkingDirectory = folder;
        return startup;
    }
    char current[4096];
    const ssize_t length = readlink((proc + "/cwd").c_str(), current, sizeof current);
    startup.WorkingDirectory =
        length > 0 ? std::string(current, static_cast<std::size_t>(length)) : "/";
    return startup;
}

// The crashed process may have used up its descriptors and limits or run at
// a real-time policy: none of that passes on to its reporter. Standard input
// (the socket to the crashed process) and the two outputs stay. The core and
// stack limits stay as they were: they change nothing for the report, and an
// instance started again inherits them.
void TakeOwnFooting() {
    close_range(STDERR_FILENO + 1, ~0U, 0);
    for (int resource = 0; resource < RLIMIT_NLIMITS; ++resource) {
        rlimit limit{};
        if (resource != RLIMIT_CORE && resource != RLIMIT_STACK &&
            getrlimit(resource, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
            limit.rlim_cur = limit.rlim_max;
            setrlimit(resource, &limit);
        }
    }
    const sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER, &normal);
    setpriority(PRIO_PROCESS, 0, 0);
}

// The threads the crashed process had registered, up to the empty slot
// that ends them.
std::vector<TSignalThread> ReadThreads() {
    std::vector<TSignalThread> threads;
    for (TSignalThread slot; ReadAll(STDIN_FILENO, &slot, sizeof slot) && slot.Id != 0;)
        threads.push_back(slot);
    return threads;
}

// The faulting thread's stack as the crashed process walks it, asked for
// when it cannot be traced.
bool WalkedInProcess(TStackTrace& trace) {
    const char request = kWalkRequest;
    return send(STDIN_FILENO, &request, 1, MSG_NOSIGNAL) == 1 &&
           ReadAll(STDIN_FILENO, &trace, sizeof trace);
}

// Nothing more passes between the two processes: the crashed one stops
// waiting for an answer, and an instance started again does not inherit
// the connection as its standard input.
void LetGoOfTheCrashedProcess() {
    shutdown(STDIN_FILENO, SHUT_RDWR);
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing >= 0) {
        dup2(nothing, STDIN_FILENO);
        close(nothing);
    }
}

// Saves the report to the crash log; the reason it could not, empty when
// it was saved.
std::string SaveReport(const std::string& program, const std::string& text,
                       const TReportOptions& options) {
    if (!options.SaveLogFile)
        return {};
    try {
        AppendToCrashLog(CrashLogPlace(program, HostName(), UserDataHome(), options), text,
                         options.ReportsKept);
        return {};
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

int ReportFatalFault(const TReportFrontEnd& frontEnd) {
    TFatalFault fault;
    if (!ReadAll(STDIN_FILENO, &fault, sizeof fault) || fault.Magic != kFatalFaultMagic)
        return 1;
    fault.Program[sizeof fault.Program - 1] = '\0';
    const std::vector<TSignalThread> threads = ReadThreads();
    StartCrashReporting(frontEnd);
    const TReportOptions& options = InstalledExceptionManager()->Options();
    const TFatalReport fatal =
        BuildFatalReport(fault, threads, options, frontEnd, ProgramDebugNames(), WalkedInProcess);
    LetGoOfTheCrashedProcess();
    // Saved before it is shown: a report only on screen is lost to whatever
    // ends the reporter meanwhile.
    const std::string unsaved = SaveReport(fault.Program, fatal.Text, options);
    // The process cannot go on after such a fault: a restart is always offered.
    TPresentation presentation;
    presentation.DialogType = kDialogPlain;
    presentation.Message = fatal.Message;
    presentation.NotSaved = unsaved;
    presentation.ShowOperationBox = true;
    presentation.Operation = kOperationRestart;
    presentation.Report = &fatal.Report;
    presentation.Text = fatal.Text;
    presentation.Options = &options;
    presentation.DisplayKind = kDisplayApplication;
    const TPresentationResult shown = frontEnd.Present(presentation);
    if (shown.CopyToClipboard && frontEnd.CopyToClipboard) {
        frontEnd.CopyToClipboard(fatal.Text);
        // The clipboard goes with this process: a restarted instance takes
        // the copy over, as after a report of an exception.
        HandOverClipboard(fatal.Text);
    }
    if (shown.OperationRequested) {
        try {
            StartInstance(StartupOf(fault.Process));
        } catch (const std::exception&) {
            return 1;
        }
    }
    return 0;
}

} // namespace

bool IsReporterProcess(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], kFatalReportOption) != 0)
        return false;
    TakeOwnFooting();
    return true;
}

TFatalReport BuildFatalReport(TFatalFault fault, const std::vector<TSignalThread>& threads,
                              const TReportOptions& options, const TReportFrontEnd& frontEnd,
                              const TDebugData* debug,
                              const std::function<bool(TStackTrace&)>& walkedInProcess) {
    const TReportTexts texts = TextsOf(options);
    TCrashedProcess process(fault.Process);
    const bool traced = process.UnwindThreads();
    if (!traced && !walkedInProcess(fault.Trace))
        fault.Trace.Count = 0;

    TReportInput input;
    input.ClassName = SignalName(fault.Signal);
    input.Message = FatalFaultMessage(
        fault, process.InStackGuard(reinterpret_cast<std::uint64_t>(fault.Info.si_addr),
                                    fault.Context.RSP));
    input.Address = fault.Context.RIP;
    input.Context = fault.Context;
    input.Stack = {fault.Context.RSP, {fault.Stack, fault.Stack + fault.StackSize}};
    input.CallStack = CallStackOf(fault, threads, process, debug);
    input.StartTime = StartTimeOf(fault.Process);
    const std::vector<std::string> arguments = CommandLineOf(fault.Process);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        input.Parameters += (i > 1 ? " " : "") + arguments[i];
    input.ProgramDescription = frontEnd.Description;
    input.ProgramVersion = frontEnd.Version;
    // The reporter runs the crashed program's own file: its block is that program's.
    input.BuildStamp = ProgramBuildStamp();
    input.DisplayMode = frontEnd.DisplayMode;
    input.DisplayDpi = frontEnd.DisplayDpi;

    TFatalReport fatal;
    fatal.Message = input.Message;
    TCrashReport& report = fatal.Report;
    report.CallStack = input.CallStack;
    report.Context = input.Context;
    std::vector<TModuleInfo> modules =
        process.Modules(input.ProgramDescription, input.ProgramVersion);
    report.General = GeneralBlocks(input, ExceptionFactsOf(input, modules), texts);
    if (!traced)
        SetNote(report.General, kTracingRefused);

    if (options.LogOptions & kLogModulesAndProcesses) {
        report.Modules = std::move(modules);
        report.Processes = ListProcesses(input.ProgramDescription, input.ProgramVersion, "/proc",
                                         static_cast<std::uint32_t>(fault.Process));
    }
    if (options.LogOptions & kLogAssemblerAndCpu) {
        const TMemoryReader read = [&process](std::uint64_t address, std::size_t size) {
            return process.Read(address, size);
        };
        report.Stack = input.Stack;
        report.Memory = read(input.Address, kMemoryDumpSize);
        report.Disassembly = DisassemblyText(input.Address, read);
    }
    fatal.Text = ReportText(report, texts, options.LogOptions);
    return fatal;
}

int RunReporterProcess(const TReportFrontEnd& frontEnd) {
    // Nothing the reporter does may end it before the report is saved and
    // shown: what it cannot do is left out.
    try {
        return ReportFatalFault(frontEnd);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: the crash report failed: %s\n", program_invocation_short_name,
                     failure.what());
    } catch (...) {
        std::fprintf(stderr, "%s: the crash report failed\n", program_invocation_short_name);
    }
    return 1;
}
