#include "platform/ProgramFile.h"

#include <climits>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view kDeletedMark = " (deleted)";

} // namespace

std::string WithoutDeletedMark(std::string link) {
    if (link.size() > kDeletedMark.size() && link.ends_with(kDeletedMark))
        link.resize(link.size() - kDeletedMark.size());
    return link;
}

std::string ProgramFile() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0)
        return {};
    return WithoutDeletedMark(std::string(path, static_cast<std::size_t>(length)));
}
