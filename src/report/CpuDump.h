#pragma once

#include "report/ReportData.h"
#include "report/ReportTexts.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes the CPU section shows.
inline constexpr std::size_t kStackDumpSize = 128; // 16 slots of 8 bytes from the stack pointer
inline constexpr std::size_t kMemoryDumpSize =
    256; // 16 lines of 16 bytes from the exception address

// Copies `size` bytes of this process's memory from `address`. An area that is
// not wholly readable gives an empty dump; reading never faults, since the
// kernel does the copy and reports a bad address as an error.
TMemoryDump ReadMemory(std::uint64_t address, std::size_t size);

// The same copy made by writing the area into a pipe, for the sandboxes that
// forbid the call ReadMemory uses; the kernel refuses an unreadable source
// with EFAULT just the same.
TMemoryDump ReadMemoryThroughPipe(std::uint64_t address, std::size_t size);

// The registers, stack and memory of the exception thread:
//
//   Registers:
//   ---------------------------------------------
//   RAX: 0000000000000001   RDI: 00007FFD5C7A2E40
//   ...
//   (empty line)
//   Stack:                               Memory Dump:
//   ----------------------------------   ----------...
//   <slot>: <value>   <address>: hh hh ... hh  ................
//
// Without a context the registers read "?"; when the stack or the memory
// could not be read the sixteen dump lines are left out.
std::string CpuSectionText(const TCpuContext& context, const TMemoryDump& stack,
                           const TMemoryDump& memory, const TReportTexts& texts);

// Sixteen upper-case hex digits.
std::string Hex16(std::uint64_t value);
