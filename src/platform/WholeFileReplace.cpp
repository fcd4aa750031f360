#include "platform/WholeFileReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int WriteAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : EIO;
        done += static_cast<std::size_t>(put);
    }
    return 0;
}

} // namespace

TReplaceOutcome ReplaceWholeFile(const std::string& path, std::string temporary,
                                 const std::string& text, mode_t mode, bool sync) {
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return {TReplaceStep::Create, errno};
    int error = fchmod(fd, mode) == 0 ? WriteAll(fd, text) : errno;
    if (error == 0 && sync && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error == 0)
        return {};
    unlink(temporary.c_str());
    return {TReplaceStep::Write, error};
}
