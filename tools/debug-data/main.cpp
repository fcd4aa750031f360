// df-debug-data: writes the debug-data block of a linked executable, the
// tables that let the program name its own frames without DWARF.
//
//   df-debug-data <executable> <block file>
//
// The block is written as it stands; the configuration block that carries it
// compresses it.

#include "DwarfTables.h"

#include "callstack/DebugDataFormat.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

namespace {

class TWriter {
public:
    void Fixed(std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i)
            bytes_.push_back(static_cast<char>(value >> (8 * i)));
    }
    void Unsigned(std::uint64_t value) {
        do {
            const auto low = static_cast<char>(value & 0x7F);
            value >>= 7;
            bytes_.push_back(value ? static_cast<char>(low | 0x80) : low);
        } while (value);
    }
    void Signed(std::int64_t value) {
        Unsigned((static_cast<std::uint64_t>(value) << 1) ^
                 static_cast<std::uint64_t>(value >> 63));
    }
    void Append(const std::string& bytes) { bytes_ += bytes; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Texts are stored once; tables refer to them by offset.
class TStrings {
public:
    std::uint32_t Offset(const std::string& text) {
        auto [at, added] = offsets_.emplace(text, static_cast<std::uint32_t>(pool_.size()));
        if (added)
            pool_.append(text).push_back('\0');
        return at->second;
    }
    const std::string& Pool() const { return pool_; }

private:
    std::map<std::string, std::uint32_t> offsets_;
    std::string pool_;
};

// Units and classes become numbered tables of string offsets.
class TNames {
public:
    std::uint32_t Index(const std::string& name, TStrings& strings) {
        auto [at, added] = index_.emplace(name, static_cast<std::uint32_t>(offsets_.size()));
        if (added)
            offsets_.push_back(strings.Offset(name));
        return at->second;
    }
    const std::vector<std::uint32_t>& Offsets() const { return offsets_; }

private:
    std::map<std::string, std::uint32_t> index_;
    std::vector<std::uint32_t> offsets_;
};

std::string Encode(const TDwarfTables& tables) {
    TStrings strings;
    TNames units, classes;
    TWriter procedures, lines;
    for (const auto& p : tables.Procedures) {
        procedures.Fixed(p.Start, 8);
        procedures.Fixed(p.Size, 4);
        procedures.Fixed(units.Index(p.Unit, strings), 4);
        procedures.Fixed(classes.Index(p.Class, strings), 4);
        procedures.Fixed(strings.Offset(p.Name), 4);
        procedures.Fixed(static_cast<std::uint32_t>(p.FirstLine), 4);
    }
    std::uint64_t address = 0;
    std::int64_t line = 0;
    for (const auto& row : tables.Lines) {
        lines.Unsigned(row.Address - address);
        lines.Signed(row.Line - line);
        address = row.Address;
        line = row.Line;
    }
    TWriter block;
    block.Fixed(DebugDataFormat::Magic, 4);
    block.Fixed(DebugDataFormat::Version, 2);
    block.Fixed(0, 2);
    for (std::size_t count : {units.Offsets().size(), classes.Offsets().size(),
                              tables.Procedures.size(), tables.Lines.size(), strings.Pool().size()})
        block.Fixed(count, 4);
    for (std::uint32_t offset : units.Offsets())
        block.Fixed(offset, 4);
    for (std::uint32_t offset : classes.Offsets())
        block.Fixed(offset, 4);
    block.Append(procedures.Bytes());
    block.Append(lines.Bytes());
    block.Append(strings.Pool());
    return block.Bytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <executable> <block file>\n", argv[0]);
        return 2;
    }
    try {
        const std::string block = Encode(ReadDwarfTables(argv[1]));
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        if (!out.flush())
            throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", argv[0], failure.what());
        return 1;
    }
    return 0;
}
