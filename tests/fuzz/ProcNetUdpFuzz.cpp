#include "FuzzCheck.h"
#include "cli/KernelDrops.h"

#include <cstdint>
#include <cstring>

// Input: an inode (8 bytes) and the text of /proc/net/udp.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 8)
        return 0;
    std::uint64_t inode;
    std::memcpy(&inode, data, sizeof inode);
    const std::string_view text(reinterpret_cast<const char*>(data + 8), size - 8);
    DropsOfInode(text, inode % 100000);
    DropsOfInode(text, inode);
    return 0;
}
