#include "report/CrashLog.h"

#include "platform/Exception.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace {

// A report as the log holds it: the boundary takes its last line end.
std::string Report(int n) {
    return "Quoxa 6.1.01 RC 1\r\n\r\nCall Stack Information:\r\n------\r\n|" + std::to_string(n) +
           "   |\r\n------";
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
    const struct {
        const char* program;
        std::uint8_t logOptions;
        const char* outputPath;
        TCrashLogPlace expected;
    } cases[] = {
        {"/opt/df/device-finder",
         0,
         "",
         {"device-finder.qxr", "/opt/df", "/d/Quoxa/device-finder"}},
        {"/opt/df/tool.bin", 0, "", {"tool.qxr", "/opt/df", "/d/Quoxa/tool"}},
        {"/opt/df/tool", kLogComputerName, "", {"tool_my_pc_1.qxr", "/opt/df", "/d/Quoxa/tool"}},
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
