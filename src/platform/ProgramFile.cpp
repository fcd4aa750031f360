#include "platform/ProgramFile.h"

#include <climits>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

std::string ExeLink() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0)
        return {};
    return WithoutDeletedMark(std::string(path, static_cast<std::size_t>(length)));
}

// The file the mapping that holds `address` was made from, empty when none.
std::string MappedFileOf(std::uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::uintptr_t start = 0, end = 0;
        char dash = 0;
        std::string permissions, offset, device, inode;
        fields >> std::hex >> start >> dash >> end >> permissions >> offset >> device >> inode;
        if (address < start || address >= end)
            continue;
        std::string path;
        std::getline(fields >> std::ws, path);
        return path.starts_with('/') ? WithoutDeletedMark(path) : std::string();
    }
    return {};
}

} // namespace

std::string WithoutDeletedMark(std::string link) {
    if (link.size() > kDeletedMark.size() && link.ends_with(kDeletedMark))
        link.resize(link.size() - kDeletedMark.size());
    return link;
}

std::string ProgramFile() {
    // Started through the dynamic loader ("ld-linux-x86-64.so.2 program"),
    // /proc/self/exe is the loader: the program is the file this code was
    // mapped from.
    const std::string mapped = MappedFileOf(reinterpret_cast<std::uintptr_t>(&ProgramFile));
    return mapped.empty() ? ExeLink() : mapped;
}

bool StartedThroughLoader() {
    return ProgramFile() != ExeLink();
}
