#include "report/Restart.h"

#include "platform/Exception.h"
#include "platform/ProgramFile.h"
#include "report/ConfigBlock.h"
#include "report/text/ReportOptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sched.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

extern char** environ;

namespace {

// Written once at start-up, before any other thread runs; read-only after.
TStartupInfo& Startup() {
    static TStartupInfo startup;
    return startup;
}

// The start-up folder once more, as plain bytes at a fixed place of the
// program's image, where a reporter process running the same file finds it
// in a crashed instance. Written once at start-up, like Startup().
char startupFolder[kStartupFolderSize];

// posix_spawn's file actions and attributes, released on every path.
struct TSpawnSetup {
    TSpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~TSpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The environment variable that names the descriptor of a handed-over text.
constexpr const char* kClipboardVariable = "QUOXA_CLIPBOARD_FD";
constexpr const char* kClipboardEntry = "QUOXA_CLIPBOARD_FD=";
constexpr int kClipboardSeals = F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
// A report is far smaller; the bound keeps a stray descriptor from being read without end.
constexpr std::size_t kClipboardLimit = 16u << 20;

// The text a restart hands over; `clipboardLock` guards it.
std::mutex clipboardLock;
std::string& ClipboardText() {
    static std::string text;
    return text;
}

// A sealed memory file holding `text`, left open across exec; -1 on failure.
int ClipboardFile(const std::string& text) {
    const int fd = memfd_create("quoxa-clipboard", MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
        fcntl(fd, F_ADD_SEALS, kClipboardSeals) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// The new instance inherits the calling thread's scheduling: a real-time
// policy or a raised priority of the reporting thread must not pass to the
// whole new program. The reset-on-fork flag drops both in the child.
void ResetSchedulingInChild() {
    const int policy = sched_getscheduler(0);
    sched_param level{};
    if (policy >= 0 && sched_getparam(0, &level) == 0)
        sched_setscheduler(0, policy | SCHED_RESET_ON_FORK, &level);
}

} // namespace

void HandOverClipboard(const std::string& text) {
    std::lock_guard guard(clipboardLock);
    ClipboardText() = text;
}

std::string TakeHandedOverClipboard() {
    const char* value = std::getenv(kClipboardVariable);
    if (value == nullptr)
        return {};
    const int fd = std::atoi(value);
    unsetenv(kClipboardVariable);
    // Only the sealed memory file a predecessor made counts; any other
    // descriptor stays untouched.
    if (fd <= STDERR_FILENO || fcntl(fd, F_GET_SEALS) != kClipboardSeals)
        return {};
    std::string text;
    char chunk[4096];
    ssize_t got;
    while (text.size() < kClipboardLimit &&
           (got = pread(fd, chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0)
        text.append(chunk, static_cast<std::size_t>(got));
    close(fd);
    return text;
}

std::vector<std::string> OwnCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start < raw.size();) {
        const std::size_t end = raw.find('\0', start);
        arguments.push_back(raw.substr(start, end - start));
        start = end == std::string::npos ? raw.size() : end + 1;
    }
    return arguments;
}

void RecordStartupInfo() {
    TStartupInfo& startup = Startup();
    startup.Arguments = OwnCommandLine();
    char folder[4096];
    startup.WorkingDirectory = getcwd(folder, sizeof folder) != nullptr ? folder : "/";
    const std::string program = ProgramFile();
    if (!program.empty())
        startup.Program = program;
    startup.WorkingDirectory.copy(startupFolder, sizeof startupFolder - 1);
}

std::uint64_t StartupFolderOffset() {
    return reinterpret_cast<std::uintptr_t>(startupFolder) - ProgramBase();
}

const TStartupInfo& StartupInfo() {
    return Startup();
}

pid_t StartInstance(const TStartupInfo& startup) {
    TSpawnSetup setup;
    posix_spawn_file_actions_addchdir_np(&setup.actions, startup.WorkingDirectory.c_str());
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSCHEDULER |
                                                    POSIX_SPAWN_SETSCHEDPARAM);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    const sched_param normal{};
    posix_spawnattr_setschedpolicy(&setup.attributes, SCHED_OTHER);
    posix_spawnattr_setschedparam(&setup.attributes, &normal);
    ResetSchedulingInChild();
    std::vector<char*> argv;
    for (const std::string& argument : startup.Arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    if (argv.empty())
        argv.push_back(const_cast<char*>(startup.Program.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> environment;
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, kClipboardEntry, std::strlen(kClipboardEntry)) != 0)
            environment.push_back(*variable);
    std::string handOver;
    int clipboard = -1;
    {
        std::lock_guard guard(clipboardLock);
        if (!ClipboardText().empty())
            clipboard = ClipboardFile(ClipboardText());
    }
    if (clipboard >= 0) {
        handOver = kClipboardEntry + std::to_string(clipboard);
        environment.push_back(handOver.data());
    }
    environment.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawn(&child, startup.Program.c_str(), &setup.actions,
                                  &setup.attributes, argv.data(), environment.data());
    if (clipboard >= 0)
        close(clipboard);
    if (error != 0)
        throw EOSError(std::string("Cannot restart the program: ") + std::strerror(error), error);
    return child;
}

void EndProcess(std::uint8_t operation) {
    if (operation == kOperationRestart) {
        try {
            StartInstance(StartupInfo());
        } catch (const EOSError& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
        }
    }
    std::fflush(nullptr);
    _exit(1);
}
