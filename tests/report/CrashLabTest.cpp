#include "LabEnv.h"
#include "report/CrashLog.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <netinet/in.h>
#include <regex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef DF_PROGRAM
#error "DF_PROGRAM names the device-finder program"
#endif

extern char** environ;

// The real program in the network lab, on its own X display: its UDP port is
// already taken, so binding at start-up fails and crash reporting takes over.
namespace {

using namespace std::chrono_literals;

constexpr const char* kDisplay = ":15";

pid_t Spawn(const std::vector<std::string>& command, const std::string& folder = "") {
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> LoggedReports(const std::filesystem::path& log, std::size_t count) {
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    std::vector<std::string> reports;
    while ((reports = SplitReports(Contents(log))).size() < count &&
           std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(50ms);
    return reports;
}

void Stop(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

class CrashLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
        folder = std::filesystem::path(LabDir()) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(folder / "bin");
        std::filesystem::create_directories(folder / "home");
        program = folder / "bin" / "device-finder";
        std::filesystem::copy_file(DF_PROGRAM, program);
        setenv("DISPLAY", kDisplay, 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("HOME", (folder / "home").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
        display = Spawn({"Xvfb", kDisplay, "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        ASSERT_GT(display, 0);
        const auto giveUp = std::chrono::steady_clock::now() + 20s;
        while (!std::filesystem::exists("/tmp/.X11-unix/X15") &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(50ms);

        // Take the program's port on the first adapter, without address reuse.
        taken = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(60000);
        inet_pton(AF_INET, LabFinderIpA().c_str(), &address.sin_addr);
        ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    void TearDown() override {
        if (taken >= 0)
            close(taken);
        Stop(display);
    }

    // Starts the program, waits for the error dialog, presses OK (the
    // default button) and returns the running program's id.
    pid_t StartAndConfirm(std::string& dialogs) {
        const pid_t app = Spawn({program.string()});
        dialogs = ConfirmDialog();
        return app;
    }

    // Waits for the error dialog and presses `keys` in it; returns its
    // window id, empty when none came.
    static std::string ConfirmDialog(const std::string& keys = "Return") {
        std::string dialog = CommandOutput(
            "timeout 60 xdotool search --sync --onlyvisible --name '^Error occurred$'");
        dialog = dialog.substr(0, dialog.find('\n'));
        if (!dialog.empty())
            CommandOutput("xdotool windowfocus --sync " + dialog + " key --delay 50 " + keys);
        return dialog;
    }

    std::filesystem::path folder, program;
    pid_t display = -1;
    int taken = -1;
};

} // namespace

TEST_F(CrashLab, PortTakenShowsTheErrorDialogLogsTheReportAndGoesOn) {
    const std::filesystem::path log = folder / "bin" / "device-finder.qxr";
    std::string dialogs;
    const pid_t first = StartAndConfirm(dialogs);
    ASSERT_FALSE(dialogs.empty()) << "no window titled \"Error occurred\"";

    auto reports = LoggedReports(log, 1);
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = reports[0];
    const std::size_t exception = report.find("Exception:\r\n");
    const std::size_t message =
        report.find(": Could not bind socket. Address and port are already in use.\r\n");
    EXPECT_NE(exception, std::string::npos);
    EXPECT_NE(message, std::string::npos);
    EXPECT_LT(exception, message) << "the message belongs to the Exception block";
    EXPECT_LT(message, report.find("\r\nUser:\r\n"));
    EXPECT_NE(report.find("EIdCouldNotBindSocket"), std::string::npos);
    EXPECT_NE(report.find("Call Stack Information:\r\n---"), std::string::npos);
    EXPECT_NE(report.find("\r\n|Address"), std::string::npos);
    // The window's creation handler keeps its frame between the socket layer and main.
    const std::string rows = report.substr(0, report.find("\r\n|-", report.find("\r\n|-") + 2));
    std::smatch socket, form, start;
    ASSERT_TRUE(std::regex_search(rows, socket, std::regex("\\|TId(Stack|SocketHandle) *\\|")));
    ASSERT_TRUE(std::regex_search(rows, form, std::regex("\\|TMainForm *\\|FormCreate *\\|")));
    ASSERT_TRUE(std::regex_search(rows, start, std::regex("\\| +\\|main +\\|")));
    EXPECT_LT(socket.position(), form.position());
    EXPECT_LT(form.position(), start.position());

    // After OK the main window is up and the program runs on.
    const std::string main =
        CommandOutput("timeout 30 xdotool search --sync --onlyvisible --name '^设备查找$'");
    EXPECT_FALSE(main.empty()) << "the main window did not come up";
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the program ended";
    EXPECT_TRUE(CommandOutput("xdotool search --onlyvisible --name '^Error occurred$'").empty());
    Stop(first);

    const pid_t second = StartAndConfirm(dialogs);
    ASSERT_FALSE(dialogs.empty());
    reports = LoggedReports(log, 2);
    Stop(second);
    ASSERT_EQ(reports.size(), 2u) << "a second start appends a second report";
    EXPECT_EQ(reports[0], report);
    EXPECT_NE(reports[0].find("\r\nRegisters:\r\n"), std::string::npos)
        << "the first report kept its CPU section through the rewrite";
    EXPECT_NE(reports[1].find("Could not bind socket."), std::string::npos);
}

TEST_F(CrashLab, TickedRestartBoxStartsTheSameCommandInTheStartFolderAndExitsWithOne) {
    const std::string startFolder = (folder / "home").string();
    const pid_t first = Spawn({program.string(), "restart-check"}, startFolder);
    ASSERT_FALSE(ConfirmDialog().empty());
    // Each refresh binds the taken port again: reports two to four.
    std::string main =
        CommandOutput("timeout 30 xdotool search --sync --onlyvisible --name '^设备查找$'");
    main = main.substr(0, main.find('\n'));
    ASSERT_FALSE(main.empty());
    for (int report = 2; report <= 3; ++report) {
        CommandOutput("xdotool mousemove --window " + main + " 768 19 click 1");
        ASSERT_FALSE(ConfirmDialog().empty()) << "report " << report;
    }
    CommandOutput("xdotool mousemove --window " + main + " 768 19 click 1");
    // The fourth dialog has the restart box first in the focus chain.
    ASSERT_FALSE(ConfirmDialog("Tab space Return").empty());

    int status = 0;
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    while (waitpid(first, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(50ms);
    if (kill(first, 0) == 0 && waitpid(first, &status, WNOHANG) == 0) {
        Stop(first);
        FAIL() << "the program did not end";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

    // The new instance fails to bind as well and shows its dialog.
    std::string dialog =
        CommandOutput("timeout 60 xdotool search --sync --onlyvisible --name '^Error occurred$'");
    dialog = dialog.substr(0, dialog.find('\n'));
    ASSERT_FALSE(dialog.empty()) << "no new instance";
    const pid_t second = std::stoi(CommandOutput("xdotool getwindowpid " + dialog));
    EXPECT_NE(second, first);
    std::string commandLine = Contents("/proc/" + std::to_string(second) + "/cmdline");
    EXPECT_EQ(commandLine,
              program.string() + std::string(1, '\0') + "restart-check" + std::string(1, '\0'));
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(second) + "/cwd"),
              startFolder);
    EXPECT_NE(
        ("\n" + CommandOutput("pgrep -x device-finder")).find("\n" + std::to_string(second) + "\n"),
        std::string::npos)
        << "runs under the program's name";
    EXPECT_EQ(getpgid(second), second) << "a process group of its own";
    EXPECT_EQ(sched_getscheduler(second), SCHED_OTHER);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(second)), 0) << "not the worker's";
    kill(second, SIGKILL);
}

// A fault while the start-up report's dialog is still on screen: that report
// was saved before it was shown, so the log holds it and the fault's.
TEST_F(CrashLab, AFaultUnderAnOpenDialogLosesNoReport) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers take the fault first and end the program themselves";
#endif
    const pid_t app = Spawn({program.string()});
    const std::string shown =
        CommandOutput("timeout 60 xdotool search --sync --onlyvisible --name '^Error occurred$'");
    ASSERT_FALSE(shown.empty()) << "no window titled \"Error occurred\"";
    CommandOutput("gdb -p " + std::to_string(app) +
                  " -batch -ex 'set var $pc=0' -ex detach >/dev/null 2>&1");
    const std::vector<std::string> reports = LoggedReports(folder / "bin" / "device-finder.qxr", 2);
    ConfirmDialog();
    int status = 0;
    waitpid(app, &status, 0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_NE(reports[0].find("Could not bind socket."), std::string::npos);
    EXPECT_NE(reports[1].find("SIGSEGV\r\n"), std::string::npos);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV);
}
