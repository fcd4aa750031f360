#include "report/gather/CpuDump.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

TMemoryDump ReadMemory(std::uint64_t address, std::size_t size) {
    TMemoryDump dump{address, std::vector<std::uint8_t>(size)};
    iovec local{dump.Bytes.data(), size};
    iovec remote{reinterpret_cast<void*>(address), size};
    const ssize_t copied = size ? process_vm_readv(getpid(), &local, 1, &remote, 1, 0) : 0;
    if (copied < 0 && (errno == ENOSYS || errno == EPERM))
        return ReadMemoryThroughPipe(address, size); // a sandbox forbids the call
    if (copied != ssize_t(size) || size == 0)
        dump.Bytes.clear();
    return dump;
}

TMemoryDump ReadMemoryThroughPipe(std::uint64_t address, std::size_t size) {
    TMemoryDump dump{address, std::vector<std::uint8_t>(size)};
    int pipe[2];
    if (size == 0 || pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return {address, {}};
    bool whole = true;
    for (std::size_t done = 0; whole && done < size;) {
        const std::size_t chunk = std::min<std::size_t>(size - done, 4096);
        const ssize_t written =
            write(pipe[1], reinterpret_cast<const void*>(address + done), chunk);
        whole = written > 0 && read(pipe[0], dump.Bytes.data() + done, written) == written;
        done += whole ? std::size_t(written) : 0;
    }
    close(pipe[0]);
    close(pipe[1]);
    if (!whole)
        dump.Bytes.clear();
    return dump;
}
