#pragma once

#include <cstdint>

// The debug-data block, as the build tool writes it and the program reads it
// (after zlib inflation). Little-endian throughout. Addresses are the
// executable's link-time addresses; the program adds its load offset.
//
//   u32 magic, u16 version, u16 0
//   u32 unit count, class count, procedure count, line count, string bytes
//   units:      u32 string offset each (file name without folder and extension)
//   classes:    u32 string offset each (class or namespace path, "" for none)
//   procedures: sorted by start, one per address range of a function:
//               u64 start, u32 size, u32 unit, u32 class, u32 name offset,
//               u32 first line (the line the function's name stands on)
//   lines:      sorted by address; each an unsigned LEB128 address step from
//               the previous row and a signed LEB128 line step
//   strings:    NUL-terminated texts
namespace DebugDataFormat {
constexpr std::uint32_t Magic = 0x44444644; // "DFDD"
constexpr std::uint16_t Version = 1;
constexpr std::uint32_t HeaderSize = 28;
constexpr std::uint32_t ProcedureSize = 28;
} // namespace DebugDataFormat
