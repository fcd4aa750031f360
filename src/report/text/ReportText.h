#pragma once

#include "report/text/ReportData.h"
#include "report/text/ReportTexts.h"

#include <cstdint>
#include <string>

// Log option bits that add sections to the report.
inline constexpr std::uint8_t kLogModulesAndProcesses = 0x10;
inline constexpr std::uint8_t kLogAssemblerAndCpu = 0x20;

// The whole report text: banner, general blocks, call-stack table (every entry
// given; the caller leaves out the thread kinds it does not report), then the
// modules and processes tables (kLogModulesAndProcesses) and the disassembly
// and CPU section (kLogAssemblerAndCpu). Lines end in "\r\n"; the bytes are
// GBK like every text of the report.
std::string ReportText(const TCrashReport& report, const TReportTexts& texts,
                       std::uint8_t logOptions);

// The banner that opens every report.
inline constexpr const char* kReportBanner = "Quoxa 6.1.01 RC 1";

// The parts of the report, as the detailed view shows them one by one.
std::string GeneralText(const std::vector<TReportBlock>& blocks);
std::string CallStackText(const std::vector<TCallStackEntry>& entries, const TReportTexts& texts);
std::string ModulesText(const std::vector<TModuleInfo>& modules, const TReportTexts& texts);
std::string ProcessesText(const std::vector<TProcessInfo>& processes, const TReportTexts& texts);

// A thread's header in the call-stack table, e.g.
// "*Exception Thread: ID=4242; Priority=0; Class=TIdThread; [Main] (reader)".
std::string ThreadHeaderText(TStackKind kind, const TThreadHeader& thread,
                             const TReportTexts& texts);

// "Low", "Below-Normal", "Normal", "Above-Normal", "High" or "Real-Time".
std::string PriorityClassName(TPriorityClass priority);
