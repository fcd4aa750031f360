#include "report/fatal/CrashedProcess.h"

#include "callstack/SymbolNames.h"
#include "platform/ProgramFile.h"
#include "report/gather/ModuleList.h"

#include <elfutils/libdwfl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxFrames = 64;
// Walks begun again from a return address after a bad jump; each one only
// climbs the stack, so a few are enough.
constexpr int kMaxRestarts = 4;
// The gap the kernel keeps free below a growing stack (256 pages).
constexpr std::uint64_t kStackGuardGap = 256 * 4096;

// No separate debug files are looked for (and none fetched from a network
// service): the unwinder needs only the call-frame data the files carry.
int NoDebugInfo(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*, GElf_Word,
                char**) {
    return -1;
}

char* noDebugPath = nullptr;
const Dwfl_Callbacks kCallbacks = {dwfl_linux_proc_find_elf, NoDebugInfo, nullptr, &noDebugPath};

Dwfl* ReportedSession(pid_t process) {
    Dwfl* session = dwfl_begin(&kCallbacks);
    if (session == nullptr)
        return nullptr;
    dwfl_report_begin(session);
    dwfl_linux_proc_report(session, process);
    dwfl_report_end(session, nullptr, nullptr);
    return session;
}

int TakeFrame(Dwfl_Frame* frame, void* argument) {
    auto& frames = *static_cast<std::vector<TRemoteFrame>*>(argument);
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation) || pc == 0)
        return DWARF_CB_ABORT;
    frames.push_back({pc, activation});
    return frames.size() < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

// DWARF's numbering of the x86-64 registers, the return address (the pc) last.
constexpr unsigned kRegisterCount = 17;
constexpr unsigned kStackPointer = 7;
constexpr unsigned kPc = 16;

std::array<Dwarf_Word, kRegisterCount> DwarfRegisters(const TCpuContext& c) {
    return {c.RAX, c.RDX, c.RCX, c.RBX, c.RSI, c.RDI, c.RBP, c.RSP, c.R8,
            c.R9,  c.R10, c.R11, c.R12, c.R13, c.R14, c.R15, c.RIP};
}

// One walk of the faulting thread from registers the signal gave, reading
// its memory with process_vm_readv: the thread is held in the fault handler
// meanwhile, so its stack stands still.
struct TRegisterWalk {
    const TCrashedProcess* Self = nullptr;
    pid_t Process = 0;
    std::array<Dwarf_Word, kRegisterCount> Registers{};
    bool Listed = false;
    std::vector<TRemoteFrame> Frames;
    // The registers of the last frame walked, as far as the unwinder knows them.
    std::array<Dwarf_Word, kRegisterCount> Last{};
    bool LastInCode = false;
};

pid_t NextThread(Dwfl*, void* argument, void** thread) {
    auto& walk = *static_cast<TRegisterWalk*>(argument);
    if (walk.Listed)
        return 0;
    walk.Listed = true;
    *thread = argument;
    return walk.Process;
}

bool ReadWord(Dwfl*, Dwarf_Addr address, Dwarf_Word* result, void* argument) {
    const auto& walk = *static_cast<TRegisterWalk*>(argument);
    const TMemoryDump word = walk.Self->Read(address, sizeof *result);
    if (word.Bytes.size() != sizeof *result)
        return false;
    std::memcpy(result, word.Bytes.data(), sizeof *result);
    return true;
}

bool SetRegisters(Dwfl_Thread* thread, void* argument) {
    const auto& walk = *static_cast<TRegisterWalk*>(argument);
    return dwfl_thread_state_registers(thread, 0, kPc, walk.Registers.data()) &&
           (dwfl_thread_state_register_pc(thread, walk.Registers[kPc]), true);
}

const Dwfl_Thread_Callbacks kRegisterThread = {NextThread,   nullptr, ReadWord,
                                               SetRegisters, nullptr, nullptr};

int TakeRegisterFrame(Dwfl_Frame* frame, void* argument) {
    auto& walk = *static_cast<TRegisterWalk*>(argument);
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation))
        return DWARF_CB_ABORT;
    // A call through a null pointer leaves pc 0 as the innermost frame.
    if (pc == 0 && !walk.Frames.empty())
        return DWARF_CB_ABORT;
    walk.Frames.push_back({pc, activation});
    for (unsigned r = 0; r < kPc; ++r) {
        Dwarf_Word value = 0;
        if (dwfl_frame_reg(frame, r, &value) == 0)
            walk.Last[r] = value;
    }
    // No code there: the unwinder would guess on through the frame pointer
    // and skip the caller; the return address on the stack names it.
    walk.LastInCode = !walk.Self->PlaceOf(activation ? pc : pc - 1).Path.empty();
    return walk.LastInCode && walk.Frames.size() < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

} // namespace

std::vector<TCrashedProcess::TMapping> TCrashedProcess::ReadMappings(pid_t process) {
    std::vector<TMapping> mappings;
    std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, permissions, offset, device, inode, path;
        fields >> range >> permissions >> offset >> device >> inode;
        std::getline(fields >> std::ws, path);
        const std::size_t dash = range.find('-');
        if (dash == std::string::npos)
            continue;
        TMapping mapping;
        mapping.Start = std::stoull(range.substr(0, dash), nullptr, 16);
        mapping.End = std::stoull(range.substr(dash + 1), nullptr, 16);
        mapping.Accessible = permissions.starts_with("r") || permissions.starts_with("-w") ||
                             permissions.starts_with("--x");
        mapping.Path = WithoutDeletedMark(path);
        mappings.push_back(std::move(mapping));
    }
    return mappings;
}

struct TCrashedProcess::TDwfl {
    Dwfl* Session = nullptr;
    ~TDwfl() {
        if (Session)
            dwfl_end(Session);
    }
};

TCrashedProcess::TCrashedProcess(pid_t process)
    : process_(process), mappings_(ReadMappings(process)), dwfl_(std::make_unique<TDwfl>()) {
    char path[4096];
    const std::string link = "/proc/" + std::to_string(process) + "/exe";
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    programPath_ =
        WithoutDeletedMark(length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "");
    dwfl_->Session = ReportedSession(process);
}

TCrashedProcess::~TCrashedProcess() = default;

bool TCrashedProcess::UnwindThreads() {
    if (dwfl_->Session == nullptr || dwfl_linux_proc_attach(dwfl_->Session, process_, false) != 0)
        return false;
    bool traced = false;
    struct TWalk {
        TCrashedProcess* Self;
        bool* Traced;
    } walk{this, &traced};
    dwfl_getthreads(
        dwfl_->Session,
        [](Dwfl_Thread* thread, void* argument) -> int {
            auto& walk = *static_cast<TWalk*>(argument);
            std::vector<TRemoteFrame> frames;
            dwfl_thread_getframes(thread, TakeFrame, &frames);
            *walk.Traced = *walk.Traced || !frames.empty();
            walk.Self->threads_.emplace_back(dwfl_thread_tid(thread), std::move(frames));
            return DWARF_CB_OK;
        },
        &walk);
    return traced;
}

std::vector<TRemoteFrame> TCrashedProcess::UnwindFrom(const TCpuContext& registers) const {
    std::vector<TRemoteFrame> frames;
    std::array<Dwarf_Word, kRegisterCount> start = DwarfRegisters(registers);
    for (int walked = 0; walked <= kMaxRestarts && frames.size() < kMaxFrames; ++walked) {
        TRegisterWalk walk;
        walk.Self = this;
        walk.Process = process_;
        walk.Registers = start;
        walk.Last = start;
        Dwfl* session = ReportedSession(process_);
        if (session == nullptr)
            break;
        if (dwfl_attach_state(session, nullptr, process_, &kRegisterThread, &walk))
            dwfl_getthread_frames(session, process_, TakeRegisterFrame, &walk);
        dwfl_end(session);
        if (walk.Frames.empty())
            break;
        // A walk begun again starts at a return address, not at the very instruction.
        if (walked > 0)
            walk.Frames.front().Exact = false;
        frames.insert(frames.end(), walk.Frames.begin(), walk.Frames.end());
        // The walk ended in code: that is the stack's end, or as far as its
        // call-frame data reach. Where it ended at an address that holds no
        // code, the jump or call there left its return address on the stack.
        if (walk.LastInCode)
            break;
        const std::uint64_t stackPointer = walk.Last[kStackPointer];
        const TMemoryDump top = Read(stackPointer, sizeof(Dwarf_Word));
        if (top.Bytes.size() != sizeof(Dwarf_Word))
            break;
        start = walk.Last;
        std::memcpy(&start[kPc], top.Bytes.data(), sizeof(Dwarf_Word));
        start[kStackPointer] = stackPointer + sizeof(Dwarf_Word);
        if (PlaceOf(start[kPc] - 1).Path.empty())
            break;
    }
    if (frames.size() > kMaxFrames)
        frames.resize(kMaxFrames);
    return frames;
}

std::vector<TModuleInfo> TCrashedProcess::Modules(const std::string& description,
                                                  const std::string& version) const {
    struct TCollect {
        const TCrashedProcess* Self;
        const std::string &Description, &Version;
        std::vector<TModuleInfo> Modules;
    } collect{this, description, version, {}};
    if (dwfl_->Session)
        dwfl_getmodules(
            dwfl_->Session,
            [](Dwfl_Module* module, void**, const char* name, Dwarf_Addr start,
               void* argument) -> int {
                auto& collect = *static_cast<TCollect*>(argument);
                // A mapped file that is no ELF object (a font, a cache) is no module.
                Dwarf_Addr bias = 0;
                if (dwfl_module_getelf(module, &bias) == nullptr)
                    return DWARF_CB_OK;
                Dwarf_Addr end = start;
                dwfl_module_info(module, nullptr, nullptr, &end, nullptr, nullptr, nullptr,
                                 nullptr);
                const std::string path = WithoutDeletedMark(name ? name : "");
                const bool program = path == collect.Self->programPath_;
                // The crashed program's figures are those of the file it runs.
                const std::string figures =
                    program ? "/proc/" + std::to_string(collect.Self->process_) + "/exe" : path;
                TModuleInfo info = ModuleOfFile(path, figures);
                info.Handle = start;
                info.MappedSize = end - start;
                info.Description = program ? collect.Description : "";
                if (program)
                    info.Version = collect.Version;
                collect.Modules.push_back(std::move(info));
                return DWARF_CB_OK;
            },
            &collect, 0);
    std::vector<TModuleInfo>& modules = collect.Modules;
    std::sort(modules.begin(), modules.end(),
              [](const TModuleInfo& a, const TModuleInfo& b) { return a.Handle < b.Handle; });
    std::stable_partition(modules.begin(), modules.end(), [this](const TModuleInfo& m) {
        return m.Path + "/" + m.Name == programPath_;
    });
    return modules;
}

const TCrashedProcess::TMapping* TCrashedProcess::MappingAt(std::uint64_t address) const {
    for (const TMapping& mapping : mappings_)
        if (address >= mapping.Start && address < mapping.End)
            return &mapping;
    return nullptr;
}

TCrashedProcess::TPlace TCrashedProcess::PlaceOf(std::uint64_t address) const {
    TPlace place;
    // A module's extent may span gaps and other mappings between its
    // segments; only the file's own pages belong to it.
    const TMapping* mapping = MappingAt(address);
    Dwfl_Module* module = dwfl_->Session && mapping && !mapping->Path.empty()
                              ? dwfl_addrmodule(dwfl_->Session, address)
                              : nullptr;
    if (module == nullptr)
        return place;
    const char* name =
        dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const std::string path = WithoutDeletedMark(name ? name : "");
    const bool kernelCode = mapping->Path == "[vdso]" && path.starts_with("[vdso");
    if (path != mapping->Path && !kernelCode)
        return place;
    place.Path = path;
    Dwarf_Addr bias = 0;
    if (dwfl_module_getelf(module, &bias) != nullptr)
        place.Bias = bias;
    return place;
}

std::uint64_t TCrashedProcess::ProgramBase() const {
    for (const TMapping& mapping : mappings_)
        if (mapping.Path == programPath_)
            return PlaceOf(mapping.Start).Bias;
    return 0;
}

std::string TCrashedProcess::SymbolAt(std::uint64_t code, std::uint64_t address) const {
    if (PlaceOf(code).Path.empty())
        return "";
    return SymbolOf(dwfl_addrmodule(dwfl_->Session, code), code, address);
}

bool TCrashedProcess::InStackGuard(std::uint64_t address, std::uint64_t stackPointer) const {
    // The stack holds the stack pointer; once it has run out, the pointer
    // lies in the guard or the gap just below it.
    const TMapping* stack = nullptr;
    for (const TMapping& mapping : mappings_)
        if (mapping.Accessible && mapping.End > stackPointer &&
            mapping.Start <= stackPointer + kStackGuardGap &&
            (stack == nullptr || mapping.Start < stack->Start))
            stack = &mapping;
    if (stack == nullptr || stack->Path.starts_with("/") || address >= stack->Start)
        return false;
    std::uint64_t guardLow = stack->Start > kStackGuardGap ? stack->Start - kStackGuardGap : 0;
    // A thread's stack has its guard mapped just below it, inaccessible.
    const TMapping* below = MappingAt(stack->Start - 1);
    if (below && !below->Accessible)
        guardLow = std::min(guardLow, below->Start);
    else if (below)
        return false;
    return address >= guardLow;
}

TMemoryDump TCrashedProcess::Read(std::uint64_t address, std::size_t size) const {
    TMemoryDump dump{address, std::vector<std::uint8_t>(size)};
    iovec local{dump.Bytes.data(), size};
    iovec remote{reinterpret_cast<void*>(address), size};
    if (size == 0 || process_vm_readv(process_, &local, 1, &remote, 1, 0) != ssize_t(size))
        dump.Bytes.clear();
    return dump;
}
