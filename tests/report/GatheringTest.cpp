// Gathering on this machine: the figures are checked against what the kernel
// shows of this process in /proc.
#include "callstack/CallStack.h"
#include "report/gather/CpuDump.h"
#include "report/gather/Disassembly.h"
#include "report/gather/ModuleList.h"
#include "report/gather/ProcessList.h"
#include "report/gather/ReportGathering.h"
#include "report/text/ExceptionId.h"
#include "report/text/ReportText.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The lowest address /proc/self/maps shows for a file.
std::uint64_t MappedStart(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    std::uint64_t lowest = UINT64_MAX;
    for (std::string line; std::getline(maps, line);)
        if (line.size() > path.size() &&
            line.compare(line.size() - path.size(), path.size(), path) == 0)
            lowest = std::min<std::uint64_t>(lowest, std::stoull(line, nullptr, 16));
    return lowest;
}

std::uint64_t MemInfoKb(const std::string& key) {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string name, unit; meminfo >> name;) {
        std::uint64_t value = 0;
        meminfo >> value >> unit;
        if (name == key + ":")
            return value;
    }
    return 0;
}

[[gnu::noinline]] int Sample(int x) {
    return x * 3 + 1;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

} // namespace

TEST(Gathering, ModulesHoldTheProgramAndLibcAtTheirLoadAddresses) {
    const std::vector<TModuleInfo> modules = ListModules("测试", "1.2.3.4");
    ASSERT_GE(modules.size(), 2u);
    const fs::path program = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(modules[0].Name, program.filename().string());
    EXPECT_EQ(modules[0].Path, program.parent_path().string());
    EXPECT_EQ(modules[0].Handle, MappedStart(program.string()));
    EXPECT_EQ(modules[0].Size, fs::file_size(program));
    EXPECT_EQ(modules[0].Version, "1.2.3.4");
    EXPECT_EQ(ModuleAt(modules, reinterpret_cast<std::uintptr_t>(&Sample)), &modules[0]);

    const TModuleInfo* libc = ModuleAt(modules, reinterpret_cast<std::uintptr_t>(&getpid));
    ASSERT_NE(libc, nullptr);
    EXPECT_EQ(libc->Name, "libc.so.6");
    EXPECT_EQ(libc->Handle, MappedStart(libc->Path + "/libc.so.6"));
    EXPECT_EQ(libc->Version, "6.0.0.0");
    EXPECT_TRUE(libc->Description.empty());
    EXPECT_EQ(ModuleAt(modules, 0), nullptr);
}

TEST(Gathering, VersionComesFromTheLibraryFileName) {
    const std::pair<const char*, const char*> cases[] = {{"libfoo.so.6.4.2", "6.4.2.0"},
                                                         {"libc.so.6", "6.0.0.0"},
                                                         {"libstdc++.so.6.0.30", "6.0.30.0"},
                                                         {"libx.so.1.2.3.4.5", "1.2.3.4"},
                                                         {"libfoo.so", ""},
                                                         {"libfoo.so.", ""},
                                                         {"libfoo.so.1a", ""},
                                                         {"device-finder", ""}};
    for (const auto& [name, version] : cases)
        EXPECT_EQ(VersionFromFileName(name), version) << name;
}

TEST(Gathering, ProcessesHoldThisProcessWithItsThreadCount) {
    std::promise<void> stop;
    std::thread extra([done = stop.get_future()]() mutable { done.wait(); });
    const std::vector<TProcessInfo> processes = ListProcesses("测试", "1.2.3.4");
    std::size_t tasks = std::distance(fs::directory_iterator("/proc/self/task"), {});
    stop.set_value();
    extra.join();

    const auto own = std::find_if(processes.begin(), processes.end(), [](const TProcessInfo& p) {
        return p.Id == std::uint32_t(getpid());
    });
    ASSERT_NE(own, processes.end());
    EXPECT_EQ(own->Threads, tasks);
    EXPECT_GE(own->Threads, 2u);
    EXPECT_EQ(own->Name, fs::read_symlink("/proc/self/exe").filename().string());
    EXPECT_EQ(own->Description, "测试");
    EXPECT_GT(own->Memory, 0u);
    EXPECT_TRUE(std::is_sorted(processes.begin(), processes.end(),
                               [](const auto& a, const auto& b) { return a.Id < b.Id; }));
}

// A fabricated /proc: unreadable details still give a row, odd command names
// do not confuse the stat fields, non-numeric entries are no processes, and
// the process a reporter describes gets the description.
TEST(Gathering, ProcessesWithUnreadableDetailsStillGetARow) {
    const fs::path root = fs::temp_directory_path() / ("report-proc-" + std::to_string(getpid()));
    fs::create_directories(root / "7");
    fs::create_directories(root / "12");
    fs::create_directories(root / "self");
    std::string stat = "12 (a) b) S";
    for (int field = 4; field <= 41; ++field)
        stat += field == 19 ? " -5" : field == 41 ? " 0" : " 1";
    WriteFile(root / "12" / "stat", stat + "\n");
    WriteFile(root / "12" / "status", "Name:\tx\nVmRSS:\t   12 kB\nThreads:\t3\n");
    WriteFile(root / "12" / "comm", "a) b\n");

    const std::vector<TProcessInfo> processes = ListProcesses("测试", "1.2.3.4", root.string(), 12);
    fs::remove_all(root);
    ASSERT_EQ(processes.size(), 2u);
    EXPECT_EQ(processes[0].Id, 7u);
    EXPECT_EQ(processes[0].Threads, 0u); // written "??"
    EXPECT_EQ(processes[0].Priority, TPriorityClass::Normal);
    EXPECT_EQ(processes[1].Name, "a) b");
    EXPECT_EQ(processes[1].Description + processes[0].Description, "测试") << "the one described";
    EXPECT_EQ(processes[1].Memory, 12u * 1024);
    EXPECT_EQ(processes[1].Threads, 3u);
    EXPECT_EQ(processes[1].Priority, TPriorityClass::AboveNormal);
}

TEST(Gathering, PriorityClassFromPolicyAndNice) {
    const struct {
        int Policy, Nice;
        TPriorityClass Class;
    } cases[] = {{SCHED_FIFO, 0, TPriorityClass::RealTime},
                 {SCHED_RR, 19, TPriorityClass::RealTime},
                 {SCHED_OTHER, -20, TPriorityClass::High},
                 {SCHED_OTHER, -10, TPriorityClass::High},
                 {SCHED_OTHER, -9, TPriorityClass::AboveNormal},
                 {SCHED_OTHER, -1, TPriorityClass::AboveNormal},
                 {SCHED_OTHER, 0, TPriorityClass::Normal},
                 {SCHED_BATCH, 1, TPriorityClass::BelowNormal},
                 {SCHED_OTHER, 9, TPriorityClass::BelowNormal},
                 {SCHED_IDLE, 10, TPriorityClass::Low},
                 {SCHED_OTHER, 19, TPriorityClass::Low}};
    for (const auto& c : cases)
        EXPECT_EQ(PriorityClassOf(c.Policy, c.Nice), c.Class) << c.Policy << " " << c.Nice;
}

TEST(Gathering, MemoryIsReadSafely) {
    const std::uint8_t local[4] = {1, 2, 3, 4};
    const long page = sysconf(_SC_PAGESIZE);
    void* pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    const auto first = reinterpret_cast<std::uintptr_t>(pages);
    munmap(reinterpret_cast<void*>(first + page), page);

    for (auto read : {ReadMemory, ReadMemoryThroughPipe}) {
        EXPECT_EQ(read(reinterpret_cast<std::uintptr_t>(local), 4).Bytes,
                  std::vector<std::uint8_t>(local, local + 4));
        EXPECT_EQ(read(first + page - 16, 16).Bytes.size(), 16u);
        EXPECT_TRUE(read(first + page - 16, 32).Bytes.empty()); // runs into the gap
        EXPECT_TRUE(read(first + page, 256).Bytes.empty());
        EXPECT_TRUE(read(0, 256).Bytes.empty());
    }
    EXPECT_EQ(DisassemblyText(first + page), "");
    munmap(pages, page);
}

TEST(Gathering, DisassemblyMarksTheInstructionAtTheAddress) {
    const auto address = reinterpret_cast<std::uintptr_t>(&Sample);
    const std::string text = DisassemblyText(address);
    EXPECT_NE(text.find("> " + Hex16(address) + "  "), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(Gathering, ReportGathersEveryBlockAndTheSectionsTheOptionsAsk) {
    TReportInput input;
    input.Message = "boom";
    input.Address = reinterpret_cast<std::uintptr_t>(&Sample);
    input.StartTime = std::chrono::system_clock::now() - std::chrono::seconds(65);
    input.BuildStamp = 47304000; // 1971-07-02 12:00 UTC, whatever the file's date
    input.Context.Valid = true;
    std::uint64_t slots[16] = {};
    input.Context.RSP = reinterpret_cast<std::uintptr_t>(slots);
    const TReportTexts texts;

    const TCrashReport plain = GatherReport(input, texts, 0);
    ASSERT_EQ(plain.General.size(), 7u);
    const std::size_t counts[] = {6, 10, 5, 4, 11, 5, 6};
    for (std::size_t b = 0; b < 7; ++b)
        EXPECT_EQ(plain.General[b].Items.size(), counts[b]) << plain.General[b].Header;
    const auto& exception = plain.General[1].Items;
    EXPECT_EQ(exception[1].Value, Hex16(input.Address));
    EXPECT_EQ(exception[2].Value, fs::read_symlink("/proc/self/exe").filename().string());
    EXPECT_EQ(exception[4].Value, "Unknown exception type");
    const std::vector<TModuleInfo> modules = ListModules("", "");
    EXPECT_EQ(exception[6].Value, ExceptionId(modules[0], modules[0], exception[4].Value, {}));
    EXPECT_EQ(GatherReport(input, texts, 0).General[1].Items[6].Value, exception[6].Value);
    EXPECT_EQ(plain.General[0].Items[5].Value.substr(0, 15), "0 days 00:01:05");
    EXPECT_TRUE(plain.General[0].Items[4].Value.starts_with("1971-07-0"))
        << plain.General[0].Items[4].Value;
    EXPECT_TRUE(plain.Modules.empty() && plain.Processes.empty() && plain.Disassembly.empty());

    const std::uint64_t total = std::stoull(plain.General[4].Items[1].Value);
    const std::uint64_t available = std::stoull(plain.General[4].Items[2].Value);
    EXPECT_EQ(total, MemInfoKb("MemTotal") / 1024);
    EXPECT_LE(available, total);
    EXPECT_GT(available, 0u);

    const TCrashReport full = GatherReport(input, texts, 0x30);
    EXPECT_FALSE(full.Modules.empty());
    EXPECT_FALSE(full.Processes.empty());
    EXPECT_EQ(full.Stack.Address, input.Context.RSP);
    EXPECT_EQ(full.Stack.Bytes.size(), kStackDumpSize);
    EXPECT_EQ(full.Memory.Bytes.size(), kMemoryDumpSize);
    EXPECT_FALSE(full.Disassembly.empty());
}

// A Chinese-named program or argument is written in the report's code page.
TEST(Gathering, ProgramNameAndParametersAreConvertedToTheCodePage) {
    const std::string utf8 = "\xE8\xAE\xBE\xE5\xA4\x87", gbk = "\xC9\xE8\xB1\xB8"; // 设备
    const TFrameNamer namer(nullptr, "/opt/" + utf8 + "/" + utf8);
    EXPECT_EQ(namer.Name(reinterpret_cast<std::uintptr_t>(&Sample), false).Module, gbk);
    TReportInput input;
    input.Parameters = utf8;
    EXPECT_EQ(GatherReport(input, TReportTexts(), 0).General[0].Items[3].Value, gbk);
}
