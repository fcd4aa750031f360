#include "report/text/ReportText.h"

#include "report/text/CpuSectionText.h"
#include "report/text/LogItem.h"
#include "report/text/ReportTable.h"

namespace {

std::vector<std::string> Headers(const TReportTexts& texts, int first, int count) {
    std::vector<std::string> headers;
    for (int i = 0; i < count; ++i)
        headers.push_back(texts[first + i]);
    return headers;
}

std::string LineText(const TCallStackEntry& entry) {
    if (entry.Line == 0)
        return "";
    return std::to_string(entry.Line) + "[" + std::to_string(entry.LineOffset) + "]";
}

bool StartsGroup(const TCallStackEntry& entry, const TCallStackEntry& previous) {
    return entry.StackStart || entry.Kind != previous.Kind || entry.Thread.Id != previous.Thread.Id;
}

int KindText(TStackKind kind) {
    switch (kind) {
    case TStackKind::ExceptionThread:
        return ReportTextIndex::ExceptionThread;
    case TStackKind::RunningThread:
        return ReportTextIndex::RunningThread;
    case TStackKind::CallingThread:
        break;
    }
    return ReportTextIndex::CallingThread;
}

} // namespace

std::string PriorityClassName(TPriorityClass priority) {
    switch (priority) {
    case TPriorityClass::Low:
        return "Low";
    case TPriorityClass::BelowNormal:
        return "Below-Normal";
    case TPriorityClass::Normal:
        return "Normal";
    case TPriorityClass::AboveNormal:
        return "Above-Normal";
    case TPriorityClass::High:
        return "High";
    case TPriorityClass::RealTime:
        return "Real-Time";
    }
    return "";
}

std::string ThreadHeaderText(TStackKind kind, const TThreadHeader& thread,
                             const TReportTexts& texts) {
    std::string text = (thread.Starred ? "*" : "") + texts[KindText(kind)] + ": " +
                       texts[ReportTextIndex::ThreadId] + "=" + std::to_string(thread.Id) + "; " +
                       texts[ReportTextIndex::ThreadPriority] + "=" + thread.Priority;
    if (!thread.Class.empty())
        text += "; " + texts[ReportTextIndex::ThreadClass] + "=" + thread.Class;
    if (thread.Main)
        text += "; [" + texts[ReportTextIndex::ThreadMain] + "]";
    if (!thread.Description.empty())
        text += " (" + thread.Description + ")";
    return text;
}

std::string GeneralText(const std::vector<TReportBlock>& blocks) {
    TLogItem log;
    for (const TReportBlock& block : blocks) {
        log.AddHeader(block.Header);
        for (const TReportItem& item : block.Items)
            log.AddItem(item.Label, item.Value, item.Show);
    }
    return log.Text();
}

// Groups open with the thread's header: the first one as a spanning row under
// the column headers, every later one after a separator and, for a thread's
// own stack, an empty spanning row.
std::string CallStackText(const std::vector<TCallStackEntry>& entries, const TReportTexts& texts) {
    TReportTable table(texts[ReportTextIndex::CallStackInformation],
                       Headers(texts, ReportTextIndex::CallStackColumns, 6), {8});
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TCallStackEntry& entry = entries[i];
        if (i == 0 || StartsGroup(entry, entries[i - 1])) {
            if (i > 0) {
                table.AddSeparator();
                if (entry.Kind != TStackKind::CallingThread)
                    table.AddSpan("");
            }
            table.AddSpan(ThreadHeaderText(entry.Kind, entry.Thread, texts));
            table.AddSeparator();
        }
        if (!entry.NoFrames) // a thread whose stack could not be taken: its header alone
            table.AddRow({Hex16(entry.Address), entry.Module, entry.Unit, entry.Class,
                          entry.Procedure, LineText(entry)});
    }
    return table.Text();
}

std::string ModulesText(const std::vector<TModuleInfo>& modules, const TReportTexts& texts) {
    TReportTable table(texts[ReportTextIndex::ModulesInformation],
                       Headers(texts, ReportTextIndex::ModuleColumns, 7), {8});
    for (const TModuleInfo& m : modules)
        table.AddRow({Hex16(m.Handle), m.Name, m.Description,
                      m.Version == "0.0.0.0" ? "" : m.Version, std::to_string(m.Size), m.Modified,
                      m.Path});
    return table.Text();
}

std::string ProcessesText(const std::vector<TProcessInfo>& processes, const TReportTexts& texts) {
    TReportTable table(texts[ReportTextIndex::ProcessesInformation],
                       Headers(texts, ReportTextIndex::ProcessColumns, 8));
    for (const TProcessInfo& p : processes)
        table.AddRow({std::to_string(p.Id), p.Name, p.Description,
                      p.Version == "0.0.0.0" ? "" : p.Version, std::to_string(p.Memory),
                      PriorityClassName(p.Priority),
                      p.Threads == 0 ? "??" : std::to_string(p.Threads), p.Path});
    return table.Text();
}

std::string ReportText(const TCrashReport& report, const TReportTexts& texts,
                       std::uint8_t logOptions) {
    std::string text = std::string(kReportBanner) + "\r\n\r\n" + GeneralText(report.General) +
                       "\r\n" + CallStackText(report.CallStack, texts);
    if (logOptions & kLogModulesAndProcesses)
        text += ModulesText(report.Modules, texts) + ProcessesText(report.Processes, texts);
    if (logOptions & kLogAssemblerAndCpu)
        text += "\r\n" + report.Disassembly + "\r\n" +
                CpuSectionText(report.Context, report.Stack, report.Memory, texts);
    return text;
}
