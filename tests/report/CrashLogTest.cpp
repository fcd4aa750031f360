#include "report/CrashLog.h"

#include "platform/Exception.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <pwd.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A report as the log holds it: the boundary takes its last line end.
std::string Report(int n) {
    return "Quoxa 6.1.01 RC 1\r\n\r\nCall Stack Information:\r\n------\r\n|" + std::to_string(n) +
           "   |\r\n------";
}

// Runs `work` in `count` child processes released at once; gives their exit
// codes, 1 for an exception.
std::vector<int> InProcesses(int count, const std::function<void(int)>& work) {
    int go[2];
    if (pipe(go) != 0)
        return {};
    std::vector<pid_t> children;
    for (int n = 0; n < count; ++n)
        if (const pid_t child = fork(); child == 0) {
            close(go[1]);
            char byte;
            (void)!read(go[0], &byte, 1);
            try {
                work(n);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        } else
            children.push_back(child);
    close(go[1]);
    close(go[0]);
    std::vector<int> codes;
    for (const pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return codes;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CrashLog : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("crashlog-" + std::to_string(getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "bin");
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    TCrashLogPlace Place() const {
        return CrashLogPlace((folder / "bin" / "device-finder").string(), "host",
                             (folder / "data").string(), TReportOptions{});
    }

    std::filesystem::path folder;
};

} // namespace

TEST_F(CrashLog, NameAndFolders) {
    TReportOptions options;
    constexpr const char* kData = "/d/Quoxa/device-finder";
    const struct {
        const char* program;
        std::uint8_t logOptions;
        const char* outputPath;
        TCrashLogPlace expected;
    } cases[] = {
        // System folders never take the log, even for root.
        {"/opt/df/device-finder (deleted)", 0, "", {"device-finder.qxr", kData, kData}},
        {"/usr/bin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/usr/local/bin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/bin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/sbin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/lib/x86_64-linux-gnu/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/lib64/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/opt/df/tool.bin", 0, "", {"tool.qxr", "/d/Quoxa/tool", "/d/Quoxa/tool"}},
        {"/opt/df/tool",
         kLogComputerName,
         "",
         {"tool_my_pc_1.qxr", "/d/Quoxa/tool", "/d/Quoxa/tool"}},
        {"/opt/df/tool", 0, "/var/log", {"tool.qxr", "/var/log", "/d/Quoxa/tool"}},
    };
    for (const auto& c : cases) {
        options.LogOptions = c.logOptions;
        options.OutputPath = c.outputPath;
        const TCrashLogPlace place = CrashLogPlace(c.program, "my pc/1", "/d", options);
        EXPECT_EQ(place.FileName, c.expected.FileName);
        EXPECT_EQ(place.Folder, c.expected.Folder);
        EXPECT_EQ(place.Fallback, c.expected.Fallback);
    }
}

TEST_F(CrashLog, SplitsAtBoundariesAndKeepsOnlyReports) {
    // The second report holds three empty lines of its own before its
    // assembler section, which has no table.
    const std::string withAssembler = Report(2) + kReportBoundary + "  0040 55 push rbp";
    const std::string text = "stray text" + std::string(kReportBoundary) + Report(1) +
                             kReportBoundary + withAssembler + kReportBoundary + "\r\n";
    EXPECT_EQ(SplitReports(text), (std::vector<std::string>{Report(1), withAssembler}));
    EXPECT_TRUE(SplitReports("").empty());
}

TEST_F(CrashLog, AppendsKeepsTheLatestAndRewrites) {
    const std::string path = AppendToCrashLog(Place(), Report(0), 32);
    EXPECT_EQ(path, (folder / "bin" / "device-finder.qxr").string());
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    for (int n = 1; n < 33; ++n)
        AppendToCrashLog(Place(), Report(n), 32);
    const auto reports = SplitReports(Contents(path));
    ASSERT_EQ(reports.size(), 32u);
    EXPECT_EQ(reports.front(), Report(1)) << "the 33rd report pushed out the oldest";
    EXPECT_EQ(reports.back(), Report(32));
    // Fewer reports kept: the file is cut after what was written.
    AppendToCrashLog(Place(), Report(99), 2);
    EXPECT_EQ(Contents(path), Report(32) + kReportBoundary + Report(99) + kReportBoundary);
}

TEST_F(CrashLog, FallsBackWhenTheProgramFolderCannotTakeIt) {
    TCrashLogPlace place = Place();
    place.Folder = (folder / "bin" / "missing").string();
    const std::string path = AppendToCrashLog(place, Report(1), 32);
    EXPECT_EQ(path, (folder / "data" / "Quoxa" / "device-finder" / "device-finder.qxr").string());
    EXPECT_EQ(SplitReports(Contents(path)).size(), 1u);

    place.Fallback = (folder / "bin" / "device-finder.qxr" / "x").string(); // below a file
    std::ofstream(folder / "bin" / "device-finder.qxr") << "file";
    EXPECT_THROW(AppendToCrashLog(place, Report(2), 32), EOSError);
}

TEST_F(CrashLog, BesideTheProgramOnlyInTheUsersOwnFolder) {
    std::filesystem::create_directory_symlink("/usr/bin", folder / "linked");
    std::filesystem::create_directories(folder / "foreign");
    const bool root = geteuid() == 0 && chown((folder / "foreign").c_str(), 65534, 65534) == 0;
    const struct {
        const char* sub;
        bool beside;
    } cases[] = {{"bin", true}, {"linked", false}, {"foreign", !root}};
    for (const auto& c : cases) {
        const TCrashLogPlace place = CrashLogPlace((folder / c.sub / "df").string(), "",
                                                   (folder / "data").string(), TReportOptions{});
        EXPECT_EQ(place.Folder, c.beside ? (folder / c.sub).string() : place.Fallback) << c.sub;
    }
}

TEST(CrashLogHome, FromTheEnvironmentElseThePasswdEntry) {
    const std::string home = getpwuid(geteuid())->pw_dir;
    const struct {
        const char* xdg;
        const char* home;
        std::string expected;
    } cases[] = {{"/x", "/h", "/x"},
                 {"rel", "/h", "/h/.local/share"},
                 {nullptr, nullptr, home + "/.local/share"}};
    const char* saved[] = {std::getenv("XDG_DATA_HOME"), std::getenv("HOME")};
    const std::string keep[] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : ""};
    auto set = [](const char* name, const char* value) {
        value ? setenv(name, value, 1) : unsetenv(name);
    };
    for (const auto& c : cases) {
        set("XDG_DATA_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(UserDataHome(), c.expected);
    }
    set("XDG_DATA_HOME", saved[0] ? keep[0].c_str() : nullptr);
    set("HOME", saved[1] ? keep[1].c_str() : nullptr);
}

TEST_F(CrashLog, ProcessesReportingAtOnceKeepEveryReport) {
    // Long reports, so one process's write overlaps another's.
    auto big = [](int n) { return Report(n) + std::string(200000, 'x'); };
    EXPECT_EQ(InProcesses(8, [&](int n) { AppendToCrashLog(Place(), big(n), 32); }),
              std::vector<int>(8, 0));
    const std::string text = Contents((folder / "bin" / "device-finder.qxr").string());
    EXPECT_EQ(text.find('\0'), std::string::npos);
    const auto reports = SplitReports(text);
    EXPECT_EQ(std::set<std::string>(reports.begin(), reports.end()).size(), 8u);
    for (int n = 0; n < 8; ++n)
        EXPECT_NE(std::find(reports.begin(), reports.end(), big(n)), reports.end()) << n;
}

TEST_F(CrashLog, AFailedWriteLeavesTheOldLogWhole) {
    const std::string path = AppendToCrashLog(Place(), Report(1), 2);
    AppendToCrashLog(Place(), Report(2), 2);
    const std::string before = Contents(path);
    // The file size limit stops the write of a long report half-way.
    const auto codes = InProcesses(1, [&](int) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 100, before.size() + 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        AppendToCrashLog(Place(), Report(3) + std::string(9000, 'x'), 2);
    });
    EXPECT_EQ(codes, std::vector<int>{1}) << "the write failed";
    EXPECT_EQ(Contents(path), before);
}

TEST_F(CrashLog, WhatIsNotTheUsersOwnLogStaysUntouched) {
    const auto log = folder / "bin" / "device-finder.qxr";
    const auto target = folder / "target";
    const struct {
        const char* name;
        std::function<void()> make;
    } cases[] = {
        {"link to a file", [&] { std::filesystem::create_symlink(target, log); }},
        {"link to /dev/zero", [&] { std::filesystem::create_symlink("/dev/zero", log); }},
        {"FIFO", [&] { mkfifo(log.c_str(), 0600); }},
        {"larger than a log",
         [&] {
             std::filesystem::resize_file(target, kCrashLogReadLimit + 1);
             std::filesystem::rename(target, log);
         }},
        {"someone else's",
         [&] {
             std::filesystem::rename(target, log);
             (void)!chown(log.c_str(), 65534, 65534);
         }},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder / "data");
        std::ofstream(target) << Report(0);
        c.make();
        struct stat before {};
        struct stat after {};
        lstat(log.c_str(), &before);
        const std::string path = AppendToCrashLog(Place(), Report(1), 32);
        lstat(log.c_str(), &after);
        if (std::string(c.name) == "someone else's" && geteuid() != 0)
            continue; // only root can give a file away
        EXPECT_EQ(path, (folder / "data" / "Quoxa" / "device-finder" / log.filename()).string())
            << c.name;
        EXPECT_TRUE(before.st_ino == after.st_ino && before.st_size == after.st_size) << c.name;
        if (std::filesystem::exists(target)) {
            EXPECT_EQ(Contents(target.string()), Report(0)) << c.name;
        }
        std::filesystem::remove(log);
    }
}
