#include "report/Restart.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <thread>

#ifndef RESTART_PROBE
#error "RESTART_PROBE names the probe program"
#endif

// As root, the first instance restarts from a report made on a thread at a
// real-time policy and nice -2: the new one runs at the normal policy, nice 0.
TEST(Restart, NewInstanceWithSameArgumentsFolderAndEnvironmentThenExitCodeOne) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("restart-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string marker = (folder / "marker").string();
    const std::string output = (folder / "output").string();

    TStartupInfo startup;
    startup.Program = RESTART_PROBE;
    startup.Arguments = {RESTART_PROBE, marker, output, "two words", ""};
    startup.WorkingDirectory = folder.string();
    setenv("RESTART_PROBE", "inherited", 1);
    const pid_t first = StartInstance(startup);
    int status = 0;
    ASSERT_EQ(waitpid(first, &status, 0), first);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

    // The new instance runs on its own; wait for its answer.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(output) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream in(output);
    const std::string answer{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(answer, folder.string() + "\n" + RESTART_PROBE + "|" + marker + "|" + output +
                          "|two words||\n1\ninherited\n0 0\ncopied report\n");
    std::filesystem::remove_all(folder);
}

TEST(Restart, StartupInfoHoldsTheCommandLineAndFolder) {
    RecordStartupInfo();
    EXPECT_EQ(StartupInfo().WorkingDirectory, std::filesystem::current_path().string());
    ASSERT_FALSE(StartupInfo().Arguments.empty());
    EXPECT_EQ(std::filesystem::path(StartupInfo().Arguments[0]).filename(), "report_flow_tests");
    TStartupInfo missing;
    missing.Program = "/nonexistent/program";
    EXPECT_ANY_THROW(StartInstance(missing));
}
