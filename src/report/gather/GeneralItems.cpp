#include "report/gather/GeneralItems.h"

#include "adapters/LGetAdapterInfo.h"
#include "platform/CodePage.h"
#include "platform/Exception.h"
#include "platform/ProgramFile.h"
#include "report/gather/CpuDump.h"
#include "report/gather/ModuleList.h"
#include "report/text/ExceptionId.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono;

std::string FileText(const char* path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The rest of the first line that starts with `key` in `text`, after the
// separator, without surrounding blanks and quotes.
std::string KeyValue(const std::string& text, const std::string& key, char separator) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::size_t at = line.find(separator, key.size());
        if (at == std::string::npos || line.find_first_not_of(" \t", key.size()) != at)
            continue;
        std::size_t first = line.find_first_not_of(" \t\"", at + 1);
        std::size_t last = line.find_last_not_of(" \t\"\r");
        return first == std::string::npos || last < first ? ""
                                                          : line.substr(first, last - first + 1);
    }
    return "";
}

TReportBlock Block(const TReportTexts& texts, int header, std::vector<std::string> values) {
    TReportBlock block{texts[header], {}};
    for (std::size_t i = 0; i < values.size(); ++i)
        block.Items.push_back({texts[header + 1 + int(i)], std::move(values[i]), true});
    return block;
}

TReportBlock ApplicationBlock(const TReportInput& input, const TReportTexts& texts,
                              system_clock::time_point now) {
    const std::string program = ProgramFile();
    std::string name = Utf8ToGbk(program.substr(program.rfind('/') + 1));
    if (!input.ProgramDescription.empty())
        name += " - (" + input.ProgramDescription + ")";
    // The build's own date: a copied or touched file keeps it.
    const std::string compiled =
        input.BuildStamp == 0
            ? ""
            : DateText(system_clock::from_time_t(static_cast<std::time_t>(input.BuildStamp)));
    auto upTime = duration_cast<seconds>(now - input.StartTime).count();
    return Block(texts, ReportTextIndex::Application,
                 {DateText(input.StartTime), name, input.ProgramVersion,
                  Utf8ToGbk(input.Parameters), compiled,
                  DurationText(upTime < 0 ? 0 : std::uint64_t(upTime))});
}

TReportBlock ExceptionBlock(const TReportInput& input, const TExceptionFacts& facts,
                            const TReportTexts& texts) {
    return Block(texts, ReportTextIndex::Exception,
                 {DateText(facts.Date), Hex16(input.Address), facts.ModuleName, facts.ModuleVersion,
                  facts.Type, input.Message, facts.Id, "1", "New", ""});
}

TReportBlock UserBlock(const TReportTexts& texts) {
    std::string login, name;
    std::vector<char> buffer(16384);
    passwd entry{}, *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        login = Utf8ToGbk(entry.pw_name);
        std::string gecos = entry.pw_gecos ? entry.pw_gecos : "";
        name = Utf8ToGbk(gecos.substr(0, gecos.find(',')));
    }
    return Block(texts, ReportTextIndex::User,
                 {login, name, "", "", geteuid() == 0 ? "Administrator" : "User"});
}

TReportBlock ActiveControlsBlock(const TReportInput& input, const TReportTexts& texts) {
    return Block(texts, ReportTextIndex::ActiveControls,
                 {input.FormClass, input.FormText, input.ControlClass, input.ControlText});
}

std::string MemInfoText(const std::string& meminfo, const char* key) {
    std::string value = KeyValue(meminfo, key, ':');
    return value.empty() ? "" : MegabytesText(std::strtoull(value.c_str(), nullptr, 10) * 1024);
}

std::string ProcessorText() {
    const std::string cpuinfo = FileText("/proc/cpuinfo");
    std::string model = KeyValue(cpuinfo, "model name", ':');
    if (model.empty())
        return "";
    int count = 0;
    for (std::size_t at = cpuinfo.find("processor"); at != std::string::npos;
         at = cpuinfo.find("\nprocessor", at + 1))
        ++count;
    return Utf8ToGbk(model) + (count > 1 ? " (" + std::to_string(count) + " processors)" : "");
}

TReportBlock ComputerBlock(const TReportInput& input, const TReportTexts& texts) {
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, sizeof host - 1);
    const std::string meminfo = FileText("/proc/meminfo");
    std::string totalDisk, freeDisk;
    std::string program = ProgramFile();
    struct statvfs disk {};
    if (statvfs(program.substr(0, program.rfind('/') + 1).c_str(), &disk) == 0) {
        totalDisk = MegabytesText(std::uint64_t(disk.f_blocks) * disk.f_frsize);
        freeDisk = MegabytesText(std::uint64_t(disk.f_bavail) * disk.f_frsize);
    }
    std::string upTime;
    std::istringstream uptime(FileText("/proc/uptime"));
    double seconds = 0;
    if (uptime >> seconds)
        upTime = DurationText(std::uint64_t(seconds));
    return Block(texts, ReportTextIndex::Computer,
                 {Utf8ToGbk(host), MemInfoText(meminfo, "MemTotal"),
                  MemInfoText(meminfo, "MemAvailable"), totalDisk, freeDisk, upTime,
                  ProcessorText(), input.DisplayMode, input.DisplayDpi, "", ""});
}

// The locale the program's texts would follow, from the environment as the C
// library reads it: "zh_CN" and "UTF-8" from "zh_CN.UTF-8@pinyin".
std::string LocaleName(std::initializer_list<const char*> variables) {
    for (const char* variable : variables)
        if (const char* value = std::getenv(variable); value && *value)
            return value;
    return "C";
}

TReportBlock OperatingSystemBlock(const TReportTexts& texts) {
    utsname system{};
    uname(&system);
    std::string messages = LocaleName({"LC_ALL", "LC_MESSAGES", "LANG"});
    std::string ctype = LocaleName({"LC_ALL", "LC_CTYPE", "LANG"});
    std::size_t dot = ctype.find('.');
    std::string charset = dot == std::string::npos
                              ? (ctype == "C" || ctype == "POSIX" ? "ASCII" : "")
                              : ctype.substr(dot + 1, ctype.find('@') - dot - 1);
    return Block(texts, ReportTextIndex::OperatingSystem,
                 {Utf8ToGbk(KeyValue(FileText("/etc/os-release"), "PRETTY_NAME", '=')),
                  Utf8ToGbk(system.release), Utf8ToGbk(system.version),
                  Utf8ToGbk(messages.substr(0, messages.find_first_of(".@"))), Utf8ToGbk(charset)});
}

TReportBlock NetworkBlock(const TReportTexts& texts) {
    std::vector<std::string> values(6);
    try {
        const TAdapterInfo adapter = EnumerateAdapters().front();
        values[0] = adapter.ipAddress;
        values[1] = adapter.mask.substr(0, adapter.mask.find('\r'));
        values[2] = adapter.gateway;
        values[5] = adapter.dhcpEnabled ? "Yes" : "No";
    } catch (const EOSError&) {
        // No adapter: the host is not on a network, the items stay empty.
    }
    std::istringstream resolv(FileText("/etc/resolv.conf"));
    int dns = 3;
    for (std::string line; dns < 5 && std::getline(resolv, line);) {
        std::istringstream words(line);
        std::string keyword, address;
        if (words >> keyword >> address && keyword == "nameserver")
            values[dns++] = address;
    }
    return Block(texts, ReportTextIndex::Network, std::move(values));
}

} // namespace

std::string DateText(system_clock::time_point time) {
    std::time_t seconds = system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string DurationText(std::uint64_t seconds) {
    const std::uint64_t days = seconds / 86400;
    char text[64];
    std::snprintf(text, sizeof text, "%llu %s %02u:%02u:%02u",
                  static_cast<unsigned long long>(days), days == 1 ? "day" : "days",
                  unsigned(seconds / 3600 % 24), unsigned(seconds / 60 % 60),
                  unsigned(seconds % 60));
    return text;
}

std::string MegabytesText(std::uint64_t bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

std::vector<TReportBlock> GeneralBlocks(const TReportInput& input, const TExceptionFacts& facts,
                                        const TReportTexts& texts) {
    return {ApplicationBlock(input, texts, facts.Date),
            ExceptionBlock(input, facts, texts),
            UserBlock(texts),
            ActiveControlsBlock(input, texts),
            ComputerBlock(input, texts),
            OperatingSystemBlock(texts),
            NetworkBlock(texts)};
}

TExceptionFacts ExceptionFactsOf(const TReportInput& input,
                                 const std::vector<TModuleInfo>& modules) {
    const TModuleInfo* found = ModuleAt(modules, input.Address);
    const TModuleInfo exceptionModule = found ? *found : TModuleInfo{};
    const TModuleInfo mainModule = modules.empty() ? TModuleInfo{} : modules.front();
    TExceptionFacts facts;
    facts.Date = std::chrono::system_clock::now();
    facts.ModuleName = exceptionModule.Name;
    facts.ModuleVersion = exceptionModule.Version == "0.0.0.0" ? "" : exceptionModule.Version;
    facts.Type = input.ClassName.empty() ? "Unknown exception type" : input.ClassName;
    facts.Id = ExceptionId(mainModule, exceptionModule, facts.Type, input.CallStack);
    return facts;
}
