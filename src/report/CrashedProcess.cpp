#include "report/CrashedProcess.h"

#include "report/ModuleList.h"

#include <elfutils/libdwfl.h>

#include <algorithm>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxFrames = 64;

// No separate debug files are looked for (and none fetched from a network
// service): the unwinder needs only the call-frame data the files carry.
int NoDebugInfo(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*, GElf_Word,
                char**) {
    return -1;
}

char* noDebugPath = nullptr;
const Dwfl_Callbacks kCallbacks = {dwfl_linux_proc_find_elf, NoDebugInfo, nullptr, &noDebugPath};

int TakeFrame(Dwfl_Frame* frame, void* argument) {
    auto& frames = *static_cast<std::vector<TRemoteFrame>*>(argument);
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation) || pc == 0)
        return DWARF_CB_ABORT;
    frames.push_back({pc, activation});
    return frames.size() < kMaxFrames ? DWARF_CB_OK : DWARF_CB_ABORT;
}

} // namespace

struct TCrashedProcess::TDwfl {
    Dwfl* Session = nullptr;
    ~TDwfl() {
        if (Session)
            dwfl_end(Session);
    }
};

TCrashedProcess::TCrashedProcess(pid_t process)
    : process_(process), dwfl_(std::make_unique<TDwfl>()) {
    char path[4096];
    const std::string link = "/proc/" + std::to_string(process) + "/exe";
    const ssize_t length = readlink(link.c_str(), path, sizeof path);
    programPath_ = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "";
    const std::string deleted = " (deleted)";
    if (programPath_.ends_with(deleted))
        programPath_.resize(programPath_.size() - deleted.size());
    dwfl_->Session = dwfl_begin(&kCallbacks);
    if (dwfl_->Session == nullptr)
        return;
    dwfl_report_begin(dwfl_->Session);
    dwfl_linux_proc_report(dwfl_->Session, process);
    dwfl_report_end(dwfl_->Session, nullptr, nullptr);
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
                Dwarf_Addr end = start;
                dwfl_module_info(module, nullptr, nullptr, &end, nullptr, nullptr, nullptr,
                                 nullptr);
                const std::string path = name ? name : "";
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

TCrashedProcess::TPlace TCrashedProcess::PlaceOf(std::uint64_t address) const {
    TPlace place;
    Dwfl_Module* module = dwfl_->Session ? dwfl_addrmodule(dwfl_->Session, address) : nullptr;
    if (module == nullptr)
        return place;
    const char* path =
        dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    place.Path = path ? path : "";
    Dwarf_Addr bias = 0;
    if (dwfl_module_getelf(module, &bias) != nullptr)
        place.Bias = bias;
    return place;
}

TMemoryDump TCrashedProcess::Read(std::uint64_t address, std::size_t size) const {
    TMemoryDump dump{address, std::vector<std::uint8_t>(size)};
    iovec local{dump.Bytes.data(), size};
    iovec remote{reinterpret_cast<void*>(address), size};
    if (size == 0 || process_vm_readv(process_, &local, 1, &remote, 1, 0) != ssize_t(size))
        dump.Bytes.clear();
    return dump;
}
