#include "report/gather/ProcessList.h"

#include "platform/CodePage.h"
#include "platform/ProgramFile.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string FileText(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A number after "<key>:" in a status file, 0 when absent.
std::uint64_t StatusField(const std::string& status, const std::string& key) {
    std::size_t at = status.find("\n" + key + ":");
    if (at == std::string::npos)
        return 0;
    return std::strtoull(status.c_str() + at + key.size() + 2, nullptr, 10);
}

// Nice value and scheduling policy from the stat file: the fields after the
// command name, which is in parentheses and may itself hold any character.
void ReadStat(const std::string& stat, TProcessInfo& process) {
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return;
    std::istringstream fields(stat.substr(close + 1));
    std::vector<std::string> field;
    for (std::string word; fields >> word;)
        field.push_back(word);
    // field[0] is the state, the process's third field; nice is the 19th,
    // the policy the 41st.
    if (field.size() < 39)
        return;
    process.Priority = PriorityClassOf(std::atoi(field[38].c_str()), std::atoi(field[16].c_str()));
}

std::string Link(const std::string& path) {
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, length) : std::string();
}

TProcessInfo ReadProcess(const std::filesystem::path& dir, std::uint32_t id) {
    TProcessInfo process;
    process.Id = id;
    const std::string exe = WithoutDeletedMark(Link(dir / "exe"));
    std::string name = exe.substr(exe.rfind('/') + 1);
    if (name.empty()) {
        name = FileText(dir / "comm");
        if (!name.empty() && name.back() == '\n')
            name.pop_back();
    }
    process.Name = Utf8ToGbk(name);
    std::size_t slash = exe.rfind('/');
    if (slash != std::string::npos)
        process.Path = Utf8ToGbk(exe.substr(0, std::max<std::size_t>(slash, 1)));
    const std::string status = std::string("\n").append(FileText(dir / "status"));
    process.Memory = StatusField(status, "VmRSS") * 1024;
    process.Threads = static_cast<std::uint32_t>(StatusField(status, "Threads"));
    ReadStat(FileText(dir / "stat"), process);
    return process;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() < 11 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

TPriorityClass PriorityClassOf(int policy, int nice) {
    if (policy == SCHED_FIFO || policy == SCHED_RR || policy == 6 /* SCHED_DEADLINE */)
        return TPriorityClass::RealTime;
    if (nice <= -10)
        return TPriorityClass::High;
    if (nice < 0)
        return TPriorityClass::AboveNormal;
    if (nice == 0)
        return TPriorityClass::Normal;
    if (nice < 10)
        return TPriorityClass::BelowNormal;
    return TPriorityClass::Low;
}

std::vector<TProcessInfo> ListProcesses(const std::string& description, const std::string& version,
                                        const std::string& procRoot, std::uint32_t described) {
    std::vector<TProcessInfo> processes;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(procRoot, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (IsNumber(name) && std::stoull(name) <= UINT32_MAX)
            processes.push_back(
                ReadProcess(entry->path(), static_cast<std::uint32_t>(std::stoull(name))));
    }
    std::sort(processes.begin(), processes.end(),
              [](const TProcessInfo& a, const TProcessInfo& b) { return a.Id < b.Id; });
    const std::uint32_t subject = described ? described : static_cast<std::uint32_t>(getpid());
    for (TProcessInfo& process : processes)
        if (process.Id == subject) {
            process.Description = description;
            process.Version = version;
        }
    return processes;
}
