#include "report/ReporterProcess.h"

#include "callstack/CallStack.h"
#include "callstack/ThreadStacks.h"
#include "platform/CodePage.h"
#include "report/CpuDump.h"
#include "report/CrashLog.h"
#include "report/CrashedProcess.h"
#include "report/Disassembly.h"
#include "report/FatalFaultText.h"
#include "report/GeneralItems.h"
#include "report/ModuleList.h"
#include "report/ProcessList.h"
#include "report/ReportStartup.h"
#include "report/ReportText.h"
#include "report/Restart.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
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

const TSignalThread* SlotOf(const TFatalFault& fault, pid_t thread) {
    for (const TSignalThread& slot : fault.Threads.Threads)
        if (slot.Id == thread)
            return &slot;
    return nullptr;
}

// Names the crashed process's frames: the module from its maps, and for the
// program's own code unit, class, procedure and line from the debug data.
class TRemoteCallStack {
public:
    TRemoteCallStack(const TCrashedProcess& process, const TDebugData* debug)
        : process_(process), debug_(debug) {}

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
        if (!place.Path.empty() && place.Path == process_.ProgramPath())
            NameFromDebugData(entry, debug_, code - place.Bias);
        if (!place.Path.empty())
            NameFromSymbol(entry, process_.SymbolAt(code, frame.Address));
        return entry;
    }

    const TCrashedProcess& process_;
    const TDebugData* debug_;
    std::vector<TCallStackEntry> entries_;
};

TThreadHeader HeaderOf(const TFatalFault& fault, pid_t thread) {
    const TSignalThread* slot = SlotOf(fault, thread);
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

std::vector<TCallStackEntry> CallStackOf(const TFatalFault& fault, const TCrashedProcess& process,
                                         const TDebugData* debug) {
    TRemoteCallStack stack(process, debug);
    const std::vector<TRemoteFrame>* unwound = nullptr;
    for (const auto& [thread, frames] : process.Threads())
        if (thread == fault.Thread)
            unwound = &frames;
    TThreadHeader header = HeaderOf(fault, fault.Thread);
    header.Starred = true;
    stack.AddStack(ExceptionFrames(fault, process, unwound), TStackKind::ExceptionThread, header);
    stack.AddCreator(SlotOf(fault, fault.Thread));
    for (const auto& [thread, frames] : process.Threads()) {
        if (thread == fault.Thread)
            continue;
        stack.AddStack(frames, TStackKind::RunningThread, HeaderOf(fault, thread));
        stack.AddCreator(SlotOf(fault, thread));
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

} // namespace

bool IsReporterProcess(int argc, char** argv) {
    return argc == 2 && std::strcmp(argv[1], kFatalReportOption) == 0;
}

TFatalReport BuildFatalReport(const TFatalFault& fault, const TReportOptions& options,
                              const TReportFrontEnd& frontEnd, const TDebugData* debug) {
    const TReportTexts texts = TextsOf(options);
    TCrashedProcess process(fault.Process);
    const bool traced = process.UnwindThreads();

    TReportInput input;
    input.ClassName = SignalName(fault.Signal);
    input.Message = FatalFaultMessage(
        fault, process.InStackGuard(reinterpret_cast<std::uint64_t>(fault.Info.si_addr),
                                    fault.Context.RSP));
    input.Address = fault.Context.RIP;
    input.Context = fault.Context;
    input.Stack = {fault.Context.RSP, {fault.Stack, fault.Stack + fault.StackSize}};
    input.CallStack = CallStackOf(fault, process, debug);
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
    TFatalFault fault;
    if (!ReadAll(STDIN_FILENO, &fault, sizeof fault) || fault.Magic != kFatalFaultMagic)
        return 1;
    StartCrashReporting(frontEnd);
    const TReportOptions& options = InstalledExceptionManager()->Options();
    const TFatalReport fatal = BuildFatalReport(fault, options, frontEnd, ProgramDebugNames());
    if (options.SaveLogFile) {
        try {
            const std::string program = TCrashedProcess(fault.Process).ProgramPath();
            AppendToCrashLog(CrashLogPlace(program, HostName(), UserDataHome(), options),
                             fatal.Text, options.ReportsKept);
        } catch (const std::exception&) {
            // The report is still shown; the log is only one of its places.
        }
    }
    // The process cannot go on after such a fault: a restart is always offered.
    TPresentation presentation;
    presentation.DialogType = kDialogPlain;
    presentation.Message = fatal.Message;
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
