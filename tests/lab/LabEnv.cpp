#include "LabEnv.h"

#include "SimCore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

pid_t Spawn(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const auto& arg : argv) {
        pointers.push_back(const_cast<char*>(arg.c_str()));
    }
    pointers.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ);
    if (error != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
    }
    return pid;
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
        }
    }
    return ExitCode(status);
}

// The value after `name` in args, or "" when absent.
std::string OptionValue(const std::vector<std::string>& args, std::string_view name) {
    const auto it = std::find(args.begin(), args.end(), name);
    return it != args.end() && it + 1 != args.end() ? *(it + 1) : "";
}

std::string FreshPath(std::string_view suffix) {
    static std::atomic<unsigned> counter{0};
    return LabDir() + "/sim-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
           std::string(suffix);
}

template <class Number> bool ParseWhole(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        throw std::runtime_error("odd hex length");
    }
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            throw std::runtime_error("bad hex digit");
        }
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

} // namespace

bool InLab() {
    const std::string id = LabId();
    return !id.empty() && CurrentLabNetns().starts_with(id + "-");
}

std::string LabId() {
    return Env("LAB_ID");
}
std::string LabDir() {
    return Env("LAB_DIR");
}
std::string LabNsFinder() {
    return Env("LAB_NS_FINDER");
}
std::string LabNsDevA() {
    return Env("LAB_NS_DEV_A");
}
std::string LabNsDevB() {
    return Env("LAB_NS_DEV_B");
}
std::string LabFinderIpA() {
    return Env("LAB_FINDER_IP_A");
}
std::string LabFinderIpB() {
    return Env("LAB_FINDER_IP_B");
}
std::string LabDevIpA() {
    return Env("LAB_DEV_IP_A");
}
std::string LabDevIpB() {
    return Env("LAB_DEV_IP_B");
}
std::string LabGatewayA() {
    return Env("LAB_GATEWAY_A");
}
std::string LabScript() {
    return Env("LAB_SCRIPT");
}

void LabAddAddresses(const std::string& ns, const std::string& interface,
                     const std::string& firstIp, unsigned count) {
    const int code = WaitFor(
        Spawn({LabScript(), "add-addresses", ns, interface, firstIp, std::to_string(count)}));
    if (code != 0) {
        throw std::runtime_error("lab.sh add-addresses failed with exit code " +
                                 std::to_string(code));
    }
}

SimLogLine ParseSimLogLine(std::string_view line) {
    try {
        const auto colon = line.find(':');
        const auto space = line.find(' ');
        const auto second = line.find(' ', space + 1);
        if (colon == std::string_view::npos || space == std::string_view::npos ||
            second == std::string_view::npos || colon > space) {
            throw std::runtime_error("missing field");
        }
        SimLogLine parsed;
        parsed.ip = line.substr(0, colon);
        const auto portText = line.substr(colon + 1, space - colon - 1);
        const auto lengthText = line.substr(space + 1, second - space - 1);
        std::size_t length = 0;
        if (!ParseWhole(portText, parsed.port) || !ParseWhole(lengthText, length)) {
            throw std::runtime_error("bad number");
        }
        parsed.bytes = FromHex(line.substr(second + 1));
        if (parsed.bytes.size() != length) {
            throw std::runtime_error("length does not match the bytes");
        }
        return parsed;
    } catch (const std::runtime_error& error) {
        throw std::runtime_error("bad simulator log line '" + std::string(line) +
                                 "': " + error.what());
    }
}

DeviceSim::DeviceSim(std::string ns, std::vector<std::string> args,
                     std::chrono::milliseconds readyTimeout)
    : ns_(std::move(ns)), logPath_(OptionValue(args, "--log")),
      readyPath_(OptionValue(args, "--ready-file")) {
    const std::string program = Env("DEVICE_SIM");
    if (program.empty() || ns_.empty()) {
        throw std::runtime_error("DeviceSim needs DEVICE_SIM and a lab namespace");
    }
    if (logPath_.empty()) {
        logPath_ = FreshPath(".log");
        args.insert(args.end(), {"--log", logPath_});
    }
    if (readyPath_.empty()) {
        readyPath_ = FreshPath(".ready");
        args.insert(args.end(), {"--ready-file", readyPath_});
    }
    std::remove(readyPath_.c_str());
    std::vector<std::string> argv{"ip", "netns", "exec", ns_, program};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = Spawn(argv);
    try {
        WaitUntilReady(readyTimeout);
    } catch (...) {
        Stop();
        throw;
    }
}

DeviceSim::~DeviceSim() {
    try {
        Stop();
    } catch (const std::exception&) {
        // A destructor cannot report; the lab's teardown kills what is left.
    }
}

void DeviceSim::WaitUntilReady(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (access(readyPath_.c_str(), F_OK) != 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            exitCode_ = ExitCode(status);
            pid_ = -1;
            throw std::runtime_error("device-sim ended with code " + std::to_string(exitCode_) +
                                     " before it was ready");
        }
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("device-sim was not ready in time");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int DeviceSim::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        const pid_t pid = std::exchange(pid_, -1);
        exitCode_ = WaitFor(pid);
    }
    return exitCode_;
}

std::vector<SimLogLine> DeviceSim::LogLines() const {
    std::vector<SimLogLine> lines;
    std::ifstream in(logPath_);
    std::string line;
    // A line without its newline is still being written; it counts next time.
    while (std::getline(in, line) && !in.eof()) {
        lines.push_back(ParseSimLogLine(line));
    }
    return lines;
}

std::vector<SimLogLine> DeviceSim::WaitForLogLines(std::size_t count,
                                                   std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto lines = LogLines();
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        lines = LogLines();
    }
    return lines;
}

std::string CommandOutput(const std::string& command) {
    std::string text;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}
