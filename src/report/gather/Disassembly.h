#pragma once

#include "report/text/ReportData.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// The x86-64 code around `address` in Intel syntax, one instruction a line
// ending in "\r\n", the instruction at `address` marked with ">":
//
//   > 000055D0C4A01234  48 8B 07                 mov      rax, qword ptr [rdi]
//
// Up to eight instructions before the address and eight from it. Decoding
// backwards is guesswork on x86, so the lines before are taken from the
// earliest start within 64 bytes whose decoding meets the address exactly.
// Unreadable code gives an empty text.
std::string DisassemblyText(std::uint64_t address);

// Copies `size` bytes of some process's memory from `address`; an empty dump
// when the area is not wholly readable.
using TMemoryReader = std::function<TMemoryDump(std::uint64_t address, std::size_t size)>;

// The same text for code read through `read` (another process's memory).
std::string DisassemblyText(std::uint64_t address, const TMemoryReader& read);
