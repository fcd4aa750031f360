#include "report/CrashLog.h"

#include "platform/Exception.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <pwd.h>
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

// Runs `work` in `count` child processes; gives their exit codes, 1 for an
// exception.
std::vector<int> InProcesses(int count, const std::function<void(int)>& work) {
    std::vector<int> codes(count);
    for (int n = 0; n < count; ++n)
        if ((codes[n] = fork()) == 0)
            try {
                work(n);
                _exit(0);
            } catch (...) {
                _exit(1);
            }
    for (int& code : codes)
        waitpid(code, &code, 0), code = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
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
    constexpr const char *kData = "/d/Quoxa/device-finder", *kTool = "/d/Quoxa/tool";
    const struct {
        const char* program;
        std::uint8_t logOptions;
        const char* outputPath;
        TCrashLogPlace expected;
    } cases[] = {
        // System folders never take the log, even for root.
        {"/opt/df/device-finder (deleted)", 0, "", {"device-finder.qxr", kData, kData}},
        {"/usr/bin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/sbin/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/lib/x86_64-linux-gnu/device-finder", 0, "", {"device-finder.qxr", kData, kData}},
        {"/opt/df/tool.bin", 0, "", {"tool.qxr", kTool, kTool}},
        {"/opt/df/tool", kLogComputerName, "", {"tool_my_pc_1.qxr", kTool, kTool}},
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
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(path).permissions(), perms::owner_read | perms::owner_write);
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
    for (auto [sub, beside] : {std::pair{"bin", true}, {"linked", false}, {"foreign", !root}}) {
        const auto place = CrashLogPlace((folder / sub / "df").string(), "", "/d", {});
        EXPECT_EQ(place.Folder, beside ? (folder / sub).string() : place.Fallback) << sub;
    }
}

TEST(CrashLogHome, WithoutHomeThePasswdEntrys) {
    const std::string home = std::getenv("HOME");
    unsetenv("HOME");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataHome(), std::string(getpwuid(geteuid())->pw_dir) + "/.local/share");
    setenv("HOME", home.c_str(), 1);
}

TEST_F(CrashLog, ProcessesReportingAtOnceKeepEveryReport) {
    auto big = [](int n) { return Report(n) + std::string(200000, 'x'); }; // writes overlap
    EXPECT_EQ(InProcesses(8, [&](int n) { AppendToCrashLog(Place(), big(n), 32); }),
              std::vector<int>(8, 0));
    const std::string text = Contents((folder / "bin" / "device-finder.qxr").string());
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(SplitReports(text).size(), 8u);
}

TEST_F(CrashLog, AFailedWriteLeavesTheOldLogWhole) {
    const std::string path = AppendToCrashLog(Place(), Report(1), 2);
    AppendToCrashLog(Place(), Report(2), 2);
    const std::string before = Contents(path);
    auto cutShort = [&](int) { // the file size limit stops the write half-way
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 100, before.size() + 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        AppendToCrashLog(Place(), Report(3) + std::string(9000, 'x'), 2);
    };
    EXPECT_EQ(InProcesses(1, cutShort), std::vector<int>{1});
    EXPECT_EQ(Contents(path), before);
}

TEST_F(CrashLog, WhatIsNotTheUsersOwnLogStaysUntouched) {
    namespace fs = std::filesystem;
    const auto log = folder / "bin" / "device-finder.qxr", target = folder / "target";
    const std::function<void()> makes[] = {
        [&] { fs::create_symlink(target, log); }, [&] { fs::create_symlink("/dev/zero", log); },
        [&] { mkfifo(log.c_str(), 0600); },
        [&] { fs::resize_file(target, kCrashLogReadLimit + 1), fs::rename(target, log); },
        [&] { fs::rename(target, log), (void)!chown(log.c_str(), 65534, 65534); }};
    for (std::size_t n = 0; n < std::size(makes) - (geteuid() != 0); ++n) {
        std::ofstream(target) << Report(0);
        makes[n]();
        struct stat before {};
        struct stat after {};
        lstat(log.c_str(), &before);
        EXPECT_EQ(AppendToCrashLog(Place(), Report(1), 32),
                  (folder / "data/Quoxa/device-finder" / log.filename()).string());
        lstat(log.c_str(), &after);
        EXPECT_TRUE(before.st_ino == after.st_ino && before.st_size == after.st_size) << n;
        EXPECT_TRUE(!fs::exists(target) || Contents(target) == Report(0)) << n;
        fs::remove(log);
    }
}
