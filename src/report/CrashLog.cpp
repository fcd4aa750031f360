#include "report/CrashLog.h"

#include "platform/Exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An open log file; closed when the report is saved.
class TLogFile {
public:
    explicit TLogFile(const std::string& path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
    ~TLogFile() {
        if (fd_ >= 0)
            close(fd_);
    }
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }

    std::string ReadAll() const {
        std::string text;
        char chunk[65536];
        off_t at = 0;
        for (ssize_t got; (got = pread(fd_, chunk, sizeof chunk, at)) > 0; at += got)
            text.append(chunk, static_cast<std::size_t>(got));
        return text;
    }

    // Writes `text` from the start and cuts the file after it.
    bool Rewrite(const std::string& text) const {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t put =
                pwrite(fd_, text.data() + done, text.size() - done, static_cast<off_t>(done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += static_cast<std::size_t>(put);
        }
        return ftruncate(fd_, static_cast<off_t>(text.size())) == 0;
    }

private:
    int fd_;
};

std::string FileNamePart(const std::string& text) {
    std::string name = text;
    for (char& c : name)
        if (std::strchr("\\/:*?\"<>| ", c) != nullptr || static_cast<unsigned char>(c) < 32)
            c = '_';
    return name;
}

} // namespace

TCrashLogPlace CrashLogPlace(const std::string& program, const std::string& computer,
                             const std::string& dataHome, const TReportOptions& options) {
    const std::filesystem::path path(program);
    const std::string stem = path.stem().string();
    TCrashLogPlace place;
    place.FileName = stem;
    if ((options.LogOptions & kLogComputerName) != 0)
        place.FileName += "_" + FileNamePart(computer);
    place.FileName += ".qxr";
    place.Folder = options.OutputPath.empty() ? path.parent_path().string() : options.OutputPath;
    place.Fallback = (std::filesystem::path(dataHome) / "Quoxa" / stem).string();
    return place;
}

std::string UserDataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/')
        return data;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
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
    std::string path = (std::filesystem::path(place.Folder) / place.FileName).string();
    auto file = std::make_unique<TLogFile>(path);
    if (!file->IsOpen()) {
        std::error_code ignored;
        std::filesystem::create_directories(place.Fallback, ignored);
        path = (std::filesystem::path(place.Fallback) / place.FileName).string();
        file = std::make_unique<TLogFile>(path);
    }
    if (!file->IsOpen())
        throw EOSError("Cannot open the crash log " + path + ": " + std::strerror(errno), errno);

    std::vector<std::string> reports = SplitReports(file->ReadAll());
    const std::size_t room = kept == 0 ? 0 : kept - 1;
    if (reports.size() > room)
        reports.erase(reports.begin(), reports.end() - static_cast<std::ptrdiff_t>(room));
    reports.push_back(report);
    std::string text;
    for (const std::string& one : reports)
        text += one + kReportBoundary;
    if (!file->Rewrite(text))
        throw EOSError("Cannot write the crash log " + path + ": " + std::strerror(errno), errno);
    return path;
}
