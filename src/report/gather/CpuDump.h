#pragma once

#include "report/text/CpuSectionText.h"
#include "report/text/ReportData.h"

#include <cstddef>
#include <cstdint>

// Copies `size` bytes of this process's memory from `address`. An area that is
// not wholly readable gives an empty dump; reading never faults, since the
// kernel does the copy and reports a bad address as an error.
TMemoryDump ReadMemory(std::uint64_t address, std::size_t size);

// The same copy made by writing the area into a pipe, for the sandboxes that
// forbid the call ReadMemory uses; the kernel refuses an unreadable source
// with EFAULT just the same.
TMemoryDump ReadMemoryThroughPipe(std::uint64_t address, std::size_t size);
