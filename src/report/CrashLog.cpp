#include "report/CrashLog.h"

#include "platform/Exception.h"
#include "platform/ProgramFile.h"
#include "platform/WholeFileReplace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// How long a report waits for another process that holds the log; its own
// work takes milliseconds, so only a stuck process makes the wait run out.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr auto kLockPoll = std::chrono::milliseconds(10);

[[noreturn]] void Fail(const std::string& what, const std::string& path, int code) {
    throw EOSError(what + " " + path + ": " + std::strerror(code), code);
}

// A descriptor that closes itself.
class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0)
            close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens the log, creating it 0600 when missing, without following a link and
// without blocking on a FIFO; only a regular file of the user's passes.
int OpenOwnLog(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                        S_IRUSR | S_IWUSR);
    if (fd < 0)
        Fail("Cannot open the crash log", path, errno);
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
        close(fd);
        Fail("Not the user's own file:", path, EPERM);
    }
    return fd;
}

// The log opened and locked against the other processes that report. A
// writer replaces the file by a rename, so a lock won on a file that has since
// been replaced locks nothing: then the new file is opened and locked.
class TLockedLog {
public:
    explicit TLockedLog(std::string path) : path_(std::move(path)), fd_(Lock()) {}

    // The log's text; a file larger than any log of ours is refused.
    std::string Read() const {
        std::string text;
        char chunk[65536];
        for (;;) {
            const ssize_t got = read(fd_.Get(), chunk, sizeof chunk);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                Fail("Cannot read the crash log", path_, errno);
            if (got == 0)
                return text;
            text.append(chunk, static_cast<std::size_t>(got));
            if (text.size() > kCrashLogReadLimit)
                Fail("Larger than a crash log:", path_, EFBIG);
        }
    }

    // Writes `text` to a new file beside the log and renames it over the log.
    void Replace(const std::string& text) const {
        const TReplaceOutcome outcome =
            ReplaceWholeFile(path_, path_ + ".XXXXXX", text, 0600, true);
        if (outcome.Step == TReplaceStep::Create)
            Fail("Cannot create a file beside", path_, outcome.Error);
        if (outcome.Step == TReplaceStep::Write)
            Fail("Cannot write the crash log", path_, outcome.Error);
    }

private:
    int Lock() const {
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        for (;;) {
            const int fd = OpenOwnLog(path_);
            while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int code = errno == EWOULDBLOCK ? ETIMEDOUT : errno;
                if (code != ETIMEDOUT || std::chrono::steady_clock::now() > deadline) {
                    close(fd);
                    Fail("Cannot lock the crash log", path_, code);
                }
                std::this_thread::sleep_for(kLockPoll);
            }
            struct stat locked {};
            struct stat named {};
            if (fstat(fd, &locked) == 0 && lstat(path_.c_str(), &named) == 0 &&
                SameFile(locked, named))
                return fd;
            close(fd);
        }
    }

    std::string path_;
    TFd fd_;
};

std::string FileNamePart(const std::string& text) {
    std::string name = text;
    for (char& c : name)
        if (std::strchr("\\/:*?\"<>| ", c) != nullptr || static_cast<unsigned char>(c) < 32)
            c = '_';
    return name;
}

bool UnderSystemFolder(const fs::path& folder) {
    auto part = folder.begin();
    if (folder.is_relative() || part == folder.end())
        return false;
    if (++part == folder.end())
        return true; // the root folder itself
    const std::string top = part->string();
    return top == "usr" || top == "bin" || top == "sbin" || top == "opt" || top.starts_with("lib");
}

// A folder the log may lie in beside the program: the user's own, writable,
// and no system folder by its name or by what its links lead to.
bool FitForTheLog(const fs::path& folder) {
    std::error_code ignored;
    const fs::path real = fs::weakly_canonical(folder, ignored);
    if (UnderSystemFolder(folder.lexically_normal()) || real.empty() || UnderSystemFolder(real))
        return false;
    struct stat status {};
    return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == geteuid() &&
           faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Creates the missing folders of `folder`, each the user's alone.
void CreateFolders(const fs::path& folder) {
    fs::path made;
    for (const fs::path& part : folder) {
        made /= part;
        if (mkdir(made.c_str(), S_IRWXU) != 0 && errno != EEXIST)
            return; // opening the log tells what went wrong
    }
}

// The report as the log takes it: at most kMaxReportSize bytes, cut at a line
// end.
std::string Bounded(const std::string& report) {
    if (report.size() <= kMaxReportSize)
        return report;
    const std::size_t end = report.rfind("\r\n", kMaxReportSize - 2);
    return report.substr(0, end == std::string::npos ? kMaxReportSize : end);
}

std::string AppendIn(const fs::path& folder, const std::string& fileName, const std::string& report,
                     std::uint32_t kept) {
    const std::string path = (folder / fileName).string();
    const TLockedLog log(path);
    std::vector<std::string> reports = SplitReports(log.Read());
    // Room for the old reports beside the new one.
    const std::size_t room = std::max<std::uint32_t>(std::min(kept, kMaxReportsKept), 1) - 1;
    if (reports.size() > room)
        reports.erase(reports.begin(), reports.end() - static_cast<std::ptrdiff_t>(room));
    reports.push_back(Bounded(report));
    std::string text;
    for (const std::string& one : reports)
        text += one + kReportBoundary;
    log.Replace(text);
    return path;
}

} // namespace

TCrashLogPlace CrashLogPlace(const std::string& program, const std::string& computer,
                             const std::string& dataHome, const TReportOptions& options) {
    const fs::path path(WithoutDeletedMark(program));
    const std::string stem = path.stem().string();
    TCrashLogPlace place;
    place.FileName = stem;
    if ((options.LogOptions & kLogComputerName) != 0)
        place.FileName.append("_").append(FileNamePart(computer));
    place.FileName += ".qxr";
    if (!dataHome.empty())
        place.Fallback = (fs::path(dataHome) / "Quoxa" / stem).string();
    if (!options.OutputPath.empty())
        place.Folder = options.OutputPath;
    else if (FitForTheLog(path.parent_path()))
        place.Folder = path.parent_path().string();
    else
        place.Folder = place.Fallback;
    return place;
}

std::string UserDataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/')
        return data;
    std::string home;
    if (const char* variable = std::getenv("HOME"); variable != nullptr && *variable == '/')
        home = variable;
    else {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir != nullptr && *found->pw_dir == '/')
            home = found->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.local/share";
}

std::vector<std::string> SplitReports(const std::string& text) {
    std::vector<std::string> reports;
    const std::string boundary = kReportBoundary;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(boundary, start);
        if (end == std::string::npos)
            end = text.size();
        std::string piece = text.substr(start, end - start);
        start = end + boundary.size();
        if (piece.find_first_not_of("\r\n ") == std::string::npos)
            continue;
        // A report's own text may hold three empty lines (before its
        // assembler section); what follows them up to the next boundary
        // holds no table and is the rest of that report, not something to
        // drop.
        if (piece.find("-\r\n|") != std::string::npos)
            reports.push_back(std::move(piece));
        else if (!reports.empty())
            reports.back() += boundary + piece;
    }
    return reports;
}

std::string AppendToCrashLog(const TCrashLogPlace& place, const std::string& report,
                             std::uint32_t kept) {
    std::string failure = "No folder for the crash log";
    int code = ENOENT;
    for (const std::string* folder : {&place.Folder, &place.Fallback}) {
        if (folder->empty() || (folder == &place.Fallback && place.Fallback == place.Folder))
            continue;
        if (*folder == place.Fallback)
            CreateFolders(*folder);
        try {
            return AppendIn(*folder, place.FileName, report, kept);
        } catch (const EOSError& error) {
            failure = error.what();
            code = error.ErrorCode();
        }
    }
    throw EOSError(failure, code);
}
