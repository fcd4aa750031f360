#pragma once

#include "report/text/ReportData.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, most significant bit
// first, no final XOR.
std::uint16_t Crc16Xmodem(std::string_view bytes);

// The ID that tells two reports of the same fault apart from those of another
// one: four upper-case hex digits of the CRC over the main module's and the
// exception module's file names (each with " - (description)" when it has
// one), the exception's class name, and unit, class, procedure and line of
// every entry of the exception thread's stack that has debug data. Addresses
// are left out, so the ID stays the same from run to run.
std::string ExceptionId(const TModuleInfo& mainModule, const TModuleInfo& exceptionModule,
                        const std::string& className,
                        const std::vector<TCallStackEntry>& callStack);
