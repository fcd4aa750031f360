#include "callstack/CallStack.h"

#include "platform/CodePage.h"
#include "platform/ProgramFile.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace {

// The file name without its folder, in the report's code page.
std::string FileName(const std::string& path) {
    return Utf8ToGbk(path.substr(path.find_last_of('/') + 1));
}

TThreadHeader HeaderOf(const TThreadRecord& thread, int priority) {
    TThreadHeader header;
    header.Id = static_cast<std::uint64_t>(thread.Id);
    header.Priority = std::to_string(priority);
    header.Class = thread.Class;
    header.Main = thread.Main;
    header.Description = thread.Description;
    return header;
}

TThreadHeader CreatorHeader(const TThreadCreator& creator) {
    TThreadHeader header;
    header.Id = static_cast<std::uint64_t>(creator.Id);
    header.Priority = std::to_string(ThreadPriority(creator.Id));
    header.Class = creator.Class;
    header.Main = creator.Main;
    header.Description = creator.Description;
    return header;
}

class TBuilder {
public:
    explicit TBuilder(const TDebugData* debug) : namer_(debug) {}

    void AddStack(const TStackTrace& trace, TStackKind kind, const TThreadHeader& header) {
        const std::size_t first = entries_.size();
        for (std::size_t i = 0; i < trace.Count; ++i) {
            TCallStackEntry entry = namer_.Name(trace.Frames[i], i > 0 || !trace.TopIsExact);
            entry.Kind = kind;
            entry.Thread = header;
            entries_.push_back(std::move(entry));
        }
        if (kind == TStackKind::ExceptionThread && entries_.size() > first)
            entries_[first].StackStart = true;
    }

    void AddMissingStack(TStackKind kind, const TThreadHeader& header) {
        TCallStackEntry entry;
        entry.Kind = kind;
        entry.Thread = header;
        entry.NoFrames = true;
        entries_.push_back(std::move(entry));
    }

    void AddCreator(const TThreadRecord& thread) {
        if (thread.Creator.Id != 0)
            AddStack(thread.Creator.Stack, TStackKind::CallingThread,
                     CreatorHeader(thread.Creator));
    }

    std::vector<TCallStackEntry> Take() { return std::move(entries_); }

private:
    TFrameNamer namer_;
    std::vector<TCallStackEntry> entries_;
};

TThreadRecord RecordOf(pid_t thread) {
    for (TThreadRecord& record : TThreadsList::Instance().Snapshot())
        if (record.Id == thread)
            return record;
    TThreadRecord unknown;
    unknown.Id = thread;
    return unknown;
}

} // namespace

TFrameNamer::TFrameNamer(const TDebugData* debug) : TFrameNamer(debug, ProgramFile()) {}

TFrameNamer::TFrameNamer(const TDebugData* debug, const std::string& programPath)
    : debug_(debug), programName_(FileName(programPath)), symbols_(getpid()) {
    // The first object the loader lists is the program itself.
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* self) {
            auto& namer = *static_cast<TFrameNamer*>(self);
            namer.programBias_ = info->dlpi_addr;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type == PT_LOAD)
                    namer.programRanges_.emplace_back(info->dlpi_addr + segment.p_vaddr,
                                                      info->dlpi_addr + segment.p_vaddr +
                                                          segment.p_memsz);
            }
            return 1;
        },
        this);
}

void NameFromDebugData(TCallStackEntry& entry, const TDebugData* debug, std::uint64_t offset) {
    if (debug == nullptr)
        return;
    if (const auto place = debug->Find(offset)) {
        entry.Unit = place->Unit;
        entry.Class = place->Class;
        entry.Procedure = place->Procedure;
        entry.Line = place->Line;
        entry.LineOffset = place->LineOffset;
    }
}

void NameFromSymbol(TCallStackEntry& entry, const std::string& symbol) {
    if (!entry.Procedure.empty() || symbol.empty())
        return;
    entry.Procedure = symbol;
    entry.FromSymbolTable = true;
}

bool TFrameNamer::InProgram(std::uintptr_t address) const {
    for (const auto& [low, high] : programRanges_)
        if (address >= low && address < high)
            return true;
    return false;
}

TCallStackEntry TFrameNamer::Name(std::uintptr_t address, bool returnAddress) const {
    TCallStackEntry entry;
    entry.Address = address;
    const std::uintptr_t code = returnAddress ? address - 1 : address;
    if (InProgram(code)) {
        entry.Module = programName_;
        NameFromDebugData(entry, debug_, code - programBias_);
    } else {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(code), &info) && info.dli_fname)
            entry.Module = FileName(info.dli_fname);
    }
    if (!entry.Module.empty())
        NameFromSymbol(entry, symbols_.Name(code, address));
    return entry;
}

std::vector<TCallStackEntry> BuildCallStack(pid_t exceptionThread,
                                            const TStackTrace& exceptionTrace,
                                            const std::vector<TThreadStack>& others,
                                            const TDebugData* debug) {
    TBuilder builder(debug);
    const TThreadRecord thrower = RecordOf(exceptionThread);
    TThreadHeader header = HeaderOf(thrower, ThreadPriority(exceptionThread));
    header.Starred = true;
    builder.AddStack(exceptionTrace, TStackKind::ExceptionThread, header);
    builder.AddCreator(thrower);
    for (const TThreadStack& other : others) {
        const TThreadHeader otherHeader = HeaderOf(other.Thread, other.Priority);
        if (other.Taken)
            builder.AddStack(other.Trace, TStackKind::RunningThread, otherHeader);
        else
            builder.AddMissingStack(TStackKind::RunningThread, otherHeader);
        builder.AddCreator(other.Thread);
    }
    return builder.Take();
}

std::vector<TCallStackEntry> GatherCallStack(pid_t exceptionThread, const TThrowSite* site,
                                             const TDebugData* debug) {
    if (site)
        return BuildCallStack(exceptionThread, site->Trace, TakeThreadStacks(exceptionThread),
                              debug);
    TStackTrace current;
    std::vector<TThreadStack> others = TakeThreadStacks();
    if (exceptionThread == gettid()) {
        WalkStack(current, 0);
    } else {
        for (auto at = others.begin(); at != others.end(); ++at)
            if (at->Thread.Id == exceptionThread) {
                current = at->Trace;
                others.erase(at);
                break;
            }
    }
    return BuildCallStack(exceptionThread, current, others, debug);
}
