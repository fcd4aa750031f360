#pragma once

#include "report/text/ReportOptions.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The configuration block "QXDATA" the program carries: header, hook
// directory, options and debug data. The build writes it into a section of
// the linked executable that is not loaded into memory; at start-up the
// program reads it back from its own file. Little-endian throughout.

constexpr std::uint32_t kConfigMagic = 0x100FAB10;
constexpr std::uint32_t kConfigMagicOld = 0x000FAB10;
constexpr std::uint16_t kConfigVersion = 6101;
constexpr const char* kConfigSectionName = "QXDATA";

// Upper bounds for the inflated blocks: a block that inflates past them is
// damaged or not ours.
constexpr std::size_t kOptionsSizeLimit = 64 * 1024;
constexpr std::size_t kDebugDataSizeLimit = 256u * 1024 * 1024;

// Routines the hook directory names, by id.
enum THookId : std::uint8_t {
    kHookHandleException = 0,
    kHookShowException = 1,
    kHookDoException = 10,
};

// One directory entry: the routine's offset from the program's load address,
// minus 4096.
struct THookEntry {
    std::uint8_t Id = 0;
    std::uint32_t Location = 0;
    std::uint32_t Reserved = 0;
    bool operator==(const THookEntry&) const = default;
};
constexpr std::size_t kHookEntrySize = 9;
constexpr std::uint32_t kHookLocationBias = 4096;

// A routine as the running program sees it.
struct TKnownRoutine {
    std::uint8_t Id = 0;
    std::uintptr_t Address = 0;
};

struct TConfigBlock {
    std::uint32_t Magic = kConfigMagic;
    std::uint16_t Version = kConfigVersion;
    std::uint64_t TimeStamp = 0; // seconds since 1970, UTC
    std::uint8_t Flags[2] = {0, 0};
    std::vector<THookEntry> Hooks;
    TReportOptions Options;
    std::vector<std::uint8_t> DebugData; // inflated; empty when there is none
};

// The block's bytes, options and debug data compressed.
std::vector<std::uint8_t> WriteConfigBlock(const TConfigBlock& block);

// Reads a block and checks it against the running program: the magic (either
// value), a version no newer than ours, every length within the block, a hook
// directory naming exactly `known` at their addresses for a program loaded at
// `base`, and options and debug data that inflate within their limits.
// Anything else gives no block, and the built-in defaults stay in force.
std::optional<TConfigBlock> ReadConfigBlock(std::span<const std::uint8_t> bytes,
                                            const std::vector<TKnownRoutine>& known,
                                            std::uintptr_t base);

// The contents of the named section of an ELF file; nothing when the file
// cannot be read or has no such section.
std::optional<std::vector<std::uint8_t>> ReadElfSection(const std::string& path,
                                                        const std::string& name);

// The running program's load address.
std::uintptr_t ProgramBase();

// The block this program carries, read from /proc/self/exe and checked.
std::optional<TConfigBlock> LoadProgramConfigBlock(const std::vector<TKnownRoutine>& known);

// zlib helpers; Inflate fails (nothing) past `limit` bytes or on bad data.
std::vector<std::uint8_t> Deflate(std::span<const std::uint8_t> data);
std::optional<std::vector<std::uint8_t>> Inflate(std::span<const std::uint8_t> data,
                                                 std::size_t limit);
