#include "LabEnv.h"
#include "report/CrashLog.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

// Fatal faults of the real programs in the network lab: signals sent to a
// searching console program, and a fault injected into the window's main
// thread with gdb while its receiving thread runs (own X display).
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Starts `command` through the shell, which it replaces.
pid_t Start(const std::string& command) {
    const std::string line = "exec " + command;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return pid;
}

// The first line a shell command writes.
std::string Output(const std::string& command) {
    const std::string text = CommandOutput(command);
    return text.substr(0, text.find('\n'));
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Has(const std::string& text, const std::string& pattern) {
    return std::regex_search(text, std::regex(pattern));
}

// Waits until the process's receiving thread has named itself, which it does
// once it is registered for crash reports.
void WaitForReceivingThread(pid_t pid) {
    const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (auto giveUp = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < giveUp; std::this_thread::sleep_for(20ms))
        for (const auto& task : fs::directory_iterator(tasks))
            if (Contents(task.path() / "comm").starts_with("UDPServerTask"))
                return;
}

// The first visible window named `name` (a pattern), followed by `then`
// (further xdotool commands). The search is repeated: a window that vanishes
// while it is searched, as the crashed one's do, ends one search in an error.
std::string FindWindow(const std::string& name, const std::string& then = "") {
    return Output("timeout 30 sh -c 'until xdotool search --onlyvisible --name \"" + name + "\" " +
                  then + " 2>/dev/null; do sleep 0.1; done'");
}

// The status a shell reports for the process: 128 + the signal that ended it.
int StatusOfEnd(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

class FatalLab : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InLab())
            GTEST_SKIP() << "runs only inside the network lab (tests/lab/lab.sh)";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "the sanitizers take these faults first and end the program themselves";
#endif
        folder =
            fs::path(LabDir()) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder / "bin");
        setenv("HOME", folder.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
    // The window program on our own X display, its receiving thread running.
    pid_t StartWindow(const fs::path& program) {
        setenv("DISPLAY", ":16", 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // No reset when the last client leaves, as a session's server with its
        // window manager never does: a reset drops whoever is connecting then.
        if (display < 0)
            display = Start("Xvfb :16 -noreset -nolisten tcp -screen 0 1024x768x24");
        // Until it answers: an earlier server's socket file may be there.
        for (auto giveUp = std::chrono::steady_clock::now() + 20s;
             Output("xdotool getdisplaygeometry 2>/dev/null").empty() &&
             std::chrono::steady_clock::now() < giveUp;)
            std::this_thread::sleep_for(50ms);
        const pid_t pid = Start(program.string() + " fault-check");
        window = FindWindow("^设备查找$");
        WaitForReceivingThread(pid);
        return pid;
    }
    void TearDown() override {
        if (display > 0) {
            kill(display, SIGTERM);
            waitpid(display, nullptr, 0);
        }
    }
    fs::path Install(const char* built) {
        const fs::path program = folder / "bin" / fs::path(built).filename();
        fs::copy_file(built, program);
        return program;
    }
    fs::path folder;
    pid_t display = -1;
    std::string window;
};

// A signal during a search: the report on standard error and in the crash
// log, and the ending a shell expects (128 + the signal's number).
TEST_F(FatalLab, SignalledSearchReportsAndEndsWithTheSignalsStatus) {
    const fs::path cli = Install(DF_CLI);
    for (const int signal : {SIGABRT, SIGSEGV}) {
        const std::string name = std::string("SIG") + sigabbrev_np(signal);
        SCOPED_TRACE(name);
        const std::string err = (folder / (name + ".err")).string();
        const pid_t pid = Start(cli.string() + " search --wait 20000 2>" + err);
        WaitForReceivingThread(pid);
        kill(pid, signal);
        EXPECT_EQ(StatusOfEnd(pid), 128 + signal);
        const std::string report = Contents(err);
        EXPECT_TRUE(Has(report, "Type +: " + name + "\r?\n")) << report;
        EXPECT_TRUE(Has(report, "sent by process " + std::to_string(getpid()))) << report;
        EXPECT_TRUE(Has(report, "Thread: ID=\\d+; Priority=-?\\d+; Class=TIdUDPListenerThread"));
    }
    const std::vector<std::string> logged =
        SplitReports(Contents(folder / "bin" / "device-finder-cli.qxr"));
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_TRUE(Has(logged[0], "Type +: SIGABRT\r\n"));
    EXPECT_TRUE(Has(logged[1], "Type +: SIGSEGV\r\n"));
}

// The window's main thread jumps to address 0 while the receiving thread
// waits for replies: the plain dialog comes from the reporter process, the
// log gets the report, and after OK the window ends by SIGSEGV; with the
// restart box ticked a new instance starts with the same arguments, under the
// program's name, in the folder the first one was started in.
TEST_F(FatalLab, FaultInTheWindowShowsTheDialogAndEndsOrRestarts) {
    const fs::path program = Install(DF_PROGRAM);
    for (const bool restart : {false, true}) {
        SCOPED_TRACE(restart ? "restart" : "end");
        const pid_t pid = StartWindow(program);
        ASSERT_FALSE(window.empty());
        // It leaves its start-up folder first: a restart goes back there.
        Output("gdb -p " + std::to_string(pid) +
               " -batch -ex 'call (int)chdir(\"/\")' -ex 'set var $pc=0' -ex detach "
               ">/dev/null 2>&1");
        const std::string dialog = FindWindow("^Error occurred$");
        ASSERT_FALSE(dialog.empty()) << "no dialog";
        Output("xdotool windowfocus --sync " + dialog + " key --delay 50 " +
               (restart ? "Tab space Return" : "Return"));
        EXPECT_EQ(StatusOfEnd(pid), 128 + SIGSEGV);
        if (restart) {
            const std::string again = FindWindow("^设备查找$", "getwindowpid");
            ASSERT_FALSE(again.empty()) << "no new instance";
            EXPECT_EQ(Contents("/proc/" + again + "/cmdline"),
                      program.string() + '\0' + "fault-check" + '\0');
            EXPECT_EQ(fs::read_symlink("/proc/" + again + "/cwd"), fs::current_path());
            EXPECT_TRUE(Has(CommandOutput("pgrep -x device-finder"), "(^|\n)" + again + "\n"))
                << "runs under the program's name";
            kill(std::stoi(again), SIGKILL);
        }
    }
    const std::vector<std::string> logged =
        SplitReports(Contents(folder / "bin" / "device-finder.qxr"));
    ASSERT_EQ(logged.size(), 2u);
    const std::string& report = logged[0];
    EXPECT_TRUE(Has(report, "Type +: SIGSEGV\r\n")) << report;
    EXPECT_TRUE(Has(report, "Segmentation fault at [0-9A-F]{16}:_execution of address")) << report;
    EXPECT_TRUE(Has(report, "\\*Exception Thread: ID=\\d+; Priority=-?\\d+; \\[Main\\]"));
    EXPECT_TRUE(Has(report, "Running Thread: ID=\\d+; Priority=-?\\d+; Class=TIdUDPListenerThread"
                            "[^\\r]*\\r\\n(\\|-+\\|\\r\\n)?(\\|[0-9A-F]+ "
                            "*\\|[^\\r]*\\r\\n)*?\\|[0-9A-F]+ *\\|[^|]+\\|\\w+ *\\|"))
        << report;
}

// A fault while the adapter list's pop-up grabs pointer and keyboard: the
// dialog takes the key, and the process ends by its signal at once.
TEST_F(FatalLab, FaultUnderAnOpenPopUpLetsTheDialogTakeKeysAndEnds) {
    const pid_t pid = StartWindow(Install(DF_PROGRAM));
    ASSERT_FALSE(window.empty());
    Output("xdotool mousemove --window " + window + " 393 19 click 1 sleep 1");
    Output("gdb -p " + std::to_string(pid) + " -batch -ex 'set var $pc=0' -ex detach");
    const std::string dialog = FindWindow("^Error occurred$");
    if (dialog.empty())
        kill(pid, SIGKILL);
    ASSERT_FALSE(dialog.empty()) << "no dialog";
    Output("xdotool windowfocus --sync " + dialog + " key Return");
    int status = 0;
    for (int tick = 0; tick < 150 && waitpid(pid, &status, WNOHANG) == 0; ++tick)
        std::this_thread::sleep_for(20ms);
    kill(pid, SIGKILL); // still running 3 s after OK
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << "not ended within 3 s";
}

// The log's folder and its fallback on a full 128 KiB file system: standard
// error says the report was not saved, naming the log and the reason.
TEST_F(FatalLab, ALogThatCannotBeWrittenIsSaidOnStandardError) {
    const fs::path cli = Install(DF_CLI);
    const fs::path full = cli.parent_path();
    setenv("XDG_DATA_HOME", full.c_str(), 1);
    // A mount namespace of the test's own, which the program shares.
    ASSERT_EQ(unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const std::string err = (folder / "err").string();
    const pid_t pid = Start(cli.string() + " search --wait 20000 2>" + err);
    WaitForReceivingThread(pid);
    ASSERT_EQ(mount("tmpfs", full.c_str(), "tmpfs", 0, "size=128k"), 0);
    Output("dd if=/dev/zero of=" + (full / "filler").string() + " bs=4k 2>/dev/null");
    kill(pid, SIGSEGV);
    EXPECT_EQ(StatusOfEnd(pid), 128 + SIGSEGV);
    const std::string report = Contents(err);
    EXPECT_TRUE(Has(report, "The report was not saved: [^\\n]*/device-finder-cli\\.qxr: No space "
                            "left on device"))
        << report;
    umount(full.c_str());
}

} // namespace

// On Wayland (tests/app/under-weston.sh) the window's fault reaches the log
// too, and the reporter's dialog, waiting for its OK, is on the Wayland plug-in.
TEST_F(FatalLab, FaultInTheWindowOnWaylandIsLogged) {
    if (getenv("WAYLAND_DISPLAY") == nullptr)
        GTEST_SKIP() << "runs on a Wayland compositor (tests/app/under-weston.sh)";
    const fs::path program = Install(DF_PROGRAM);
    const fs::path log = program.string() + ".qxr";
    const pid_t pid = Start(program.string());
    WaitForReceivingThread(pid);
    Output("gdb -p " + std::to_string(pid) +
           " -batch -ex 'set var $pc=0' -ex detach >/dev/null 2>&1");
    for (auto giveUp = std::chrono::steady_clock::now() + 30s;
         SplitReports(Contents(log)).empty() && std::chrono::steady_clock::now() < giveUp;)
        std::this_thread::sleep_for(50ms);
    const std::vector<std::string> logged = SplitReports(Contents(log));
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_TRUE(Has(logged[0], "Type +: SIGSEGV\r\n")) << logged[0];
    const std::string process = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid);
    const pid_t reporter = std::atoi(Contents(process + "/children").c_str());
    EXPECT_TRUE(
        Has(Contents("/proc/" + std::to_string(reporter) + "/maps"), "libQt6WaylandClient"));
    kill(reporter, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}
