#include "report/Restart.h"

#include "platform/Exception.h"
#include "report/ReportOptions.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

// Written once at start-up, before any other thread runs; read-only after.
TStartupInfo& Startup() {
    static TStartupInfo startup;
    return startup;
}

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

} // namespace

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
}

const TStartupInfo& StartupInfo() {
    return Startup();
}

pid_t StartInstance(const TStartupInfo& startup) {
    TSpawnSetup setup;
    posix_spawn_file_actions_addchdir_np(&setup.actions, startup.WorkingDirectory.c_str());
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    std::vector<char*> argv;
    for (const std::string& argument : startup.Arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    if (argv.empty())
        argv.push_back(const_cast<char*>(startup.Program.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = posix_spawn(&child, startup.Program.c_str(), &setup.actions,
                                  &setup.attributes, argv.data(), environ);
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
