#pragma once

#include "report/text/ReportData.h"
#include "report/text/ReportTexts.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The bytes the CPU section shows.
inline constexpr std::size_t kStackDumpSize = 128; // 16 slots of 8 bytes from the stack pointer
inline constexpr std::size_t kMemoryDumpSize =
    256; // 16 lines of 16 bytes from the exception address

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
