#include "report/gather/ModuleList.h"

#include "platform/CodePage.h"
#include "platform/ProgramFile.h"

#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

struct TLoaded {
    std::string File; // as the loader knows it, UTF-8
    std::uint64_t Start = 0, End = 0;
};

int Collect(dl_phdr_info* info, std::size_t, void* data) {
    TLoaded loaded{info->dlpi_name ? info->dlpi_name : "", UINT64_MAX, 0};
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD)
            continue;
        std::uint64_t start = info->dlpi_addr + segment.p_vaddr;
        // The kernel maps whole pages, so the first byte lies on a page boundary.
        const std::uint64_t page = static_cast<std::uint64_t>(getpagesize());
        loaded.Start = std::min(loaded.Start, start & ~(page - 1));
        loaded.End = std::max(loaded.End, start + segment.p_memsz);
    }
    if (loaded.End != 0)
        static_cast<std::vector<TLoaded>*>(data)->push_back(std::move(loaded));
    return 0;
}

std::string RealPath(const std::string& file) {
    char* real = realpath(file.c_str(), nullptr);
    if (!real)
        return file;
    std::string result = real;
    std::free(real);
    return result;
}

std::string FileName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string Folder(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, std::max<std::size_t>(slash, 1));
}

std::string TimeText(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

TModuleInfo Describe(const TLoaded& loaded, bool program, const std::string& description,
                     const std::string& version) {
    // The program's own figures are the running file's, which a replaced
    // path no longer names.
    TModuleInfo module = program ? ModuleOfFile(ProgramFile(), "/proc/self/exe")
                                 : ModuleOfFile(loaded.File, loaded.File);
    module.Handle = loaded.Start;
    module.MappedSize = loaded.End - loaded.Start;
    module.Description = program ? description : "";
    if (program)
        module.Version = version;
    return module;
}

} // namespace

TModuleInfo ModuleOfFile(const std::string& file, const std::string& figures) {
    TModuleInfo module;
    module.Name = Utf8ToGbk(FileName(file));
    module.Path = Utf8ToGbk(Folder(file));
    // The kernel's own code (the vDSO) has a name but no file, and no version.
    struct stat status {};
    if (!file.empty() && stat(figures.c_str(), &status) == 0) {
        module.Size = static_cast<std::uint64_t>(status.st_size);
        module.Modified = TimeText(status.st_mtime);
        module.Version = VersionFromFileName(FileName(RealPath(file)));
    }
    return module;
}

std::string VersionFromFileName(std::string_view fileName) {
    std::size_t so = fileName.find(".so.");
    if (so == std::string_view::npos)
        return "";
    std::string_view rest = fileName.substr(so + 4);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= rest.size() && parts.size() < 4) {
        std::size_t dot = std::min(rest.find('.', start), rest.size());
        std::string_view part = rest.substr(start, dot - start);
        if (part.empty() || part.size() > 9 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return "";
        parts.emplace_back(part);
        start = dot + 1;
    }
    while (parts.size() < 4)
        parts.emplace_back("0");
    return parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
}

std::vector<TModuleInfo> ListModules(const std::string& programDescription,
                                     const std::string& programVersion) {
    std::vector<TLoaded> loaded;
    dl_iterate_phdr(Collect, &loaded);
    std::vector<TModuleInfo> modules;
    for (std::size_t i = 0; i < loaded.size(); ++i)
        modules.push_back(Describe(loaded[i], i == 0, programDescription, programVersion));
    return modules;
}

const TModuleInfo* ModuleAt(const std::vector<TModuleInfo>& modules, std::uint64_t address) {
    for (const TModuleInfo& module : modules)
        if (address >= module.Handle && address - module.Handle < module.MappedSize)
            return &module;
    return nullptr;
}
