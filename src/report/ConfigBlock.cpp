#include "report/ConfigBlock.h"

#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <link.h>
#include <stdexcept>
#include <unistd.h>
#include <zlib.h>

namespace {

void PutLittle(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Reads fields from the front of the block; every read checks the length.
class TBlockCursor {
public:
    explicit TBlockCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::optional<std::uint64_t> Little(std::size_t width) {
        if (bytes_.size() - offset_ < width)
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value |= static_cast<std::uint64_t>(bytes_[offset_ + i]) << (8 * i);
        offset_ += width;
        return value;
    }
    // A 4-byte length followed by that many bytes.
    std::optional<std::span<const std::uint8_t>> Sized() {
        const auto length = Little(4);
        if (!length || *length > bytes_.size() - offset_)
            return std::nullopt;
        const auto piece = bytes_.subspan(offset_, *length);
        offset_ += *length;
        return piece;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

bool DirectoryMatches(const std::vector<THookEntry>& hooks, const std::vector<TKnownRoutine>& known,
                      std::uintptr_t base) {
    if (hooks.size() != known.size())
        return false;
    for (const TKnownRoutine& routine : known) {
        bool found = false;
        for (const THookEntry& entry : hooks)
            found = found || (entry.Id == routine.Id &&
                              entry.Location + base + kHookLocationBias == routine.Address);
        if (!found)
            return false;
    }
    return true;
}

struct TElfFile {
    explicit TElfFile(const std::string& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd >= 0 && elf_version(EV_CURRENT) != EV_NONE)
            elf = elf_begin(fd, ELF_C_READ, nullptr);
    }
    ~TElfFile() {
        if (elf != nullptr)
            elf_end(elf);
        if (fd >= 0)
            close(fd);
    }
    TElfFile(const TElfFile&) = delete;
    TElfFile& operator=(const TElfFile&) = delete;

    int fd;
    Elf* elf = nullptr;
};

} // namespace

std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> data) {
    uLongf size = compressBound(data.size());
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), data.size(), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("cannot compress");
    out.resize(size);
    return out;
}

std::optional<std::vector<std::uint8_t>> Inflate(std::span<const std::uint8_t> data,
                                                 std::size_t limit) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[16384];
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - stream.avail_out));
        if (out.size() > limit)
            status = Z_MEM_ERROR;
        else if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)
            status = Z_DATA_ERROR; // the input ended before the stream did
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END)
        return std::nullopt;
    return out;
}

std::vector<std::uint8_t> WriteConfigBlock(const TConfigBlock& block) {
    std::vector<std::uint8_t> out;
    PutLittle(out, block.Magic, 4);
    PutLittle(out, block.Version, 2);
    PutLittle(out, block.TimeStamp, 8);
    out.push_back(block.Flags[0]);
    out.push_back(block.Flags[1]);
    PutLittle(out, block.Hooks.size() * kHookEntrySize, 4);
    for (const THookEntry& entry : block.Hooks) {
        out.push_back(entry.Id);
        PutLittle(out, entry.Location, 4);
        PutLittle(out, entry.Reserved, 4);
    }
    const auto options = Deflate(WriteReportOptions(block.Options));
    PutLittle(out, options.size(), 4);
    out.insert(out.end(), options.begin(), options.end());
    const auto debugData =
        block.DebugData.empty() ? std::vector<std::uint8_t>() : Deflate(block.DebugData);
    PutLittle(out, debugData.size(), 4);
    out.insert(out.end(), debugData.begin(), debugData.end());
    return out;
}

std::optional<TConfigBlock> ReadConfigBlock(std::span<const std::uint8_t> bytes,
                                            const std::vector<TKnownRoutine>& known,
                                            std::uintptr_t base) {
    TBlockCursor cursor(bytes);
    TConfigBlock block;
    const auto magic = cursor.Little(4);
    const auto version = cursor.Little(2);
    const auto stamp = cursor.Little(8);
    const auto flags = cursor.Little(2);
    if (!flags || (*magic != kConfigMagic && *magic != kConfigMagicOld) ||
        *version > kConfigVersion)
        return std::nullopt;
    block.Magic = static_cast<std::uint32_t>(*magic);
    block.Version = static_cast<std::uint16_t>(*version);
    block.TimeStamp = *stamp;
    block.Flags[0] = static_cast<std::uint8_t>(*flags);
    block.Flags[1] = static_cast<std::uint8_t>(*flags >> 8);

    const auto directory = cursor.Sized();
    if (!directory || directory->size() % kHookEntrySize != 0)
        return std::nullopt;
    for (std::size_t at = 0; at < directory->size(); at += kHookEntrySize) {
        TBlockCursor entry(directory->subspan(at, kHookEntrySize));
        THookEntry hook;
        hook.Id = static_cast<std::uint8_t>(*entry.Little(1));
        hook.Location = static_cast<std::uint32_t>(*entry.Little(4));
        hook.Reserved = static_cast<std::uint32_t>(*entry.Little(4));
        block.Hooks.push_back(hook);
    }
    if (!DirectoryMatches(block.Hooks, known, base))
        return std::nullopt;

    const auto packedOptions = cursor.Sized();
    const auto packedDebugData = packedOptions ? cursor.Sized() : std::nullopt;
    if (!packedDebugData)
        return std::nullopt;
    const auto options = Inflate(*packedOptions, kOptionsSizeLimit);
    if (!options)
        return std::nullopt;
    try {
        block.Options = ReadReportOptions(*options);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    if (!packedDebugData->empty()) {
        auto debugData = Inflate(*packedDebugData, kDebugDataSizeLimit);
        if (!debugData)
            return std::nullopt;
        block.DebugData = std::move(*debugData);
    }
    return block;
}

std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path,
                                                        const std::string& name) {
    TElfFile file(path);
    std::size_t namesIndex = 0;
    if (file.elf == nullptr || elf_kind(file.elf) != ELF_K_ELF ||
        elf_getshdrstrndx(file.elf, &namesIndex) != 0)
        return std::nullopt;
    for (Elf_Scn* section = elf_nextscn(file.elf, nullptr); section != nullptr;
         section = elf_nextscn(file.elf, section)) {
        GElf_Shdr header;
        if (gelf_getshdr(section, &header) == nullptr)
            continue;
        const char* sectionName = elf_strptr(file.elf, namesIndex, header.sh_name);
        if (sectionName == nullptr || name != sectionName)
            continue;
        Elf_Data* data = elf_rawdata(section, nullptr);
        if (data == nullptr || data->d_buf == nullptr)
            return std::vector<std::uint8_t>();
        const auto* begin = static_cast<const std::uint8_t*>(data->d_buf);
        return std::vector<std::uint8_t>(begin, begin + data->d_size);
    }
    return std::nullopt;
}

std::uintptr_t ProgramBase() {
    std::uintptr_t base = 0;
    // The first object reported is the program itself.
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* result) {
            *static_cast<std::uintptr_t*>(result) = info->dlpi_addr;
            return 1;
        },
        &base);
    return base;
}

std::optional<TConfigBlock> LoadProgramConfigBlock(const std::vector<TKnownRoutine>& known) {
    const auto bytes = ReadElfSection("/proc/self/exe", kConfigSectionName);
    if (!bytes)
        return std::nullopt;
    return ReadConfigBlock(*bytes, known, ProgramBase());
}
