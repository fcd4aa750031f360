#include "report/text/ReportText.h"
#include "report/gather/CpuDump.h"
#include "report/text/LogItem.h"
#include "report/text/ReportTable.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const TReportTexts kTexts;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TCallStackEntry Entry(std::uint64_t address, TStackKind kind, std::uint64_t thread,
                      bool stackStart = false) {
    TCallStackEntry entry;
    entry.Address = address;
    entry.Module = "device-finder";
    entry.Kind = kind;
    entry.StackStart = stackStart;
    entry.Thread.Id = thread;
    entry.Thread.Priority = "0";
    return entry;
}

TCrashReport SmallReport() {
    TCrashReport report;
    report.General = {{"Application", {{"Start Date", "2026-03-14 09:26:53"}, {"Up Time", "x"}}},
                      {"Exception", {{"Message", "Socket Error # 10048\r\nAddress in use."}}}};
    TCallStackEntry entry = Entry(0x401A2B, TStackKind::ExceptionThread, 77, true);
    entry.Unit = "Main";
    entry.Class = "TMainForm";
    entry.Procedure = "btnSearchClick";
    entry.Line = 120;
    entry.LineOffset = 4;
    entry.Thread.Starred = true;
    entry.Thread.Main = true;
    report.CallStack = {entry};
    report.Modules = {{0x400000, "device-finder", "\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2", "0.1.0.0",
                       4096, "2026-03-14", "/opt"}};
    report.Processes = {{42, "device-finder", "", "", 8192, TPriorityClass::High, 0, "/opt"}};
    return report;
}

} // namespace

// The whole text of a small report, byte for byte.
TEST(ReportText, SmallReportByteForByte) {
    const std::string expected =
        "Quoxa 6.1.01 RC 1\r\n"
        "\r\n"
        "Application:\r\n"
        "-------------------------------------\r\n"
        "  1.1 Start Date: 2026-03-14 09:26:53\r\n"
        "  1.2 Up Time   : x\r\n"
        "\r\n"
        "Exception:\r\n"
        "-----------------------------------\r\n"
        "  2.1 Message: Socket Error # 10048\r\n"
        " Address in use.\r\n"
        "Call Stack Information:\r\n"
        "-----------------------------------------------------------------------\r\n"
        "|Address         |Module       |Unit|Class    |Procedure/Method|Line  |\r\n"
        "-----------------------------------------------------------------------\r\n"
        "|*Exception Thread: ID=77; Priority=0; [Main]                         |\r\n"
        "|---------------------------------------------------------------------|\r\n"
        "|0000000000401A2B|device-finder|Main|TMainForm|btnSearchClick  |120[4]|\r\n"
        "-----------------------------------------------------------------------\r\n"
        "\r\n"
        "Modules Information:\r\n"
        "-------------------------------------------------------------------------\r\n"
        "|Handle          |Name         |Description|Version|Size|Modified  |Path|\r\n"
        "-------------------------------------------------------------------------\r\n"
        "|0000000000400000|device-finder|\xC9\xE8\xB1\xB8\xB2\xE9\xD5\xD2   "
        "|0.1.0.0|4096|2026-03-14|/opt|\r\n"
        "-------------------------------------------------------------------------\r\n"
        "\r\n"
        "Processes Information:\r\n"
        "-------------------------------------------------------------------\r\n"
        "|ID|Name         |Description|Version|Memory|Priority|Threads|Path|\r\n"
        "-------------------------------------------------------------------\r\n"
        "|42|device-finder|           |       |8192  |High    |??     |/opt|\r\n"
        "-------------------------------------------------------------------\r\n"
        "\r\n";
    EXPECT_EQ(ReportText(SmallReport(), kTexts, kLogModulesAndProcesses), expected);
}

TEST(ReportText, GeneralBlocksNumberAlignAndDropEmptyBlocks) {
    TLogItem log;
    log.AddHeader("Application");
    log.AddItem("Name", "df");
    log.AddHeader("Exception");
    for (int i = 1; i <= 10; ++i)
        log.AddItem(i == 10 ? "Note" : "Item" + std::to_string(i), "v", i != 2);
    log.AddHeader("Empty");
    log.AddHeader("Hidden");
    log.AddItem("Secret", "v", false);
    log.AddHeader("Computer");
    log.AddItem("Total Memory", "15987 MB");

    const std::vector<std::string> lines = Lines(log.Text());
    const std::vector<std::string> expected = {"Application:",
                                               std::string(14, '-'),
                                               "  1.1 Name: df",
                                               "",
                                               "Exception:",
                                               std::string(14, '-'),
                                               "  2.1 Item1: v",
                                               "  2.3 Item3: v",
                                               "  2.4 Item4: v",
                                               "  2.5 Item5: v",
                                               "  2.6 Item6: v",
                                               "  2.7 Item7: v",
                                               "  2.8 Item8: v",
                                               "  2.9 Item9: v",
                                               "  2.10 Note: v",
                                               "",
                                               "Computer:",
                                               std::string(28, '-'),
                                               "  5.1 Total Memory: 15987 MB"};
    EXPECT_EQ(lines, expected);
}

TEST(ReportText, GeneralDashLineSpansTheLongestLineOfItsBlock) {
    TLogItem log;
    log.AddHeader("A very long header of a block");
    log.AddItem("x", "1");
    log.AddHeader("B");
    log.AddItem("Message", "short\nand a much longer second line");
    const std::vector<std::string> lines = Lines(log.Text());
    EXPECT_EQ(lines[1], std::string(lines[0].size(), '-'));
    EXPECT_EQ(lines[5], std::string(lines[7].size(), '-'));
}

TEST(ReportText, MultiLineValuesCannotBeTakenForLabels) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"one", {"one"}},
        {"", {""}},
        {"a\r\n\r\n \t\nb: c", {"a", " .", " .", " b:_c"}},
        {"Key: v: w", {"Key:_v:_w"}},
        {"a\nb\n", {"a", " b", " ."}},
        {"A: 1\rM: 2\r", {"A:_1", " M:_2", " ."}},
        {"a:b", {"a:b"}},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(ValueLines(value), expected) << value;
}

TEST(ReportText, TableColumnsFollowTheLongestTextAndTheMinimum) {
    TReportTable table("Modules Information", {"Handle", "Name", "Version"}, {8});
    table.AddRow({"1", "a-rather-long\nname", "1.0"});
    table.AddSeparator();
    const std::vector<std::string> lines = Lines(table.Text());
    const std::vector<std::string> expected = {"Modules Information:",
                                               std::string(37, '-'),
                                               "|Handle  |Name              |Version|",
                                               std::string(37, '-'),
                                               "|1       |a-rather-long name|1.0    |",
                                               "|" + std::string(35, '-') + "|",
                                               std::string(37, '-'),
                                               "",
                                               ""};
    EXPECT_EQ(lines, expected);
}

TEST(ReportText, SpanLongerThanTheTableWidensItsLastColumn) {
    TReportTable table("T", {"A", "B"});
    table.AddSpan("a header wider than both columns");
    table.AddRow({"1", "2"});
    table.AddSeparator();
    for (const std::string& line : Lines(table.Text()))
        if (!line.empty() && line != "T:") {
            EXPECT_EQ(line.size(), 34u) << line;
        }
}

TEST(ReportText, ThreadHeadersInEveryVariant) {
    struct TCase {
        TStackKind Kind;
        TThreadHeader Thread;
        const char* Expected;
    };
    const TCase cases[] = {
        {TStackKind::ExceptionThread,
         {true, 4242, "0", "", true, ""},
         "*Exception Thread: ID=4242; Priority=0; [Main]"},
        {TStackKind::RunningThread,
         {false, 7, "-2", "TIdUDPListenerThread", false, ""},
         "Running Thread: ID=7; Priority=-2; Class=TIdUDPListenerThread"},
        {TStackKind::CallingThread,
         {false, 7, "Normal", "", false, "reader"},
         "Calling Thread: ID=7; Priority=Normal (reader)"},
        {TStackKind::RunningThread,
         {true, 9, "1", "TIdThread", true, "listener"},
         "*Running Thread: ID=9; Priority=1; Class=TIdThread; [Main] (listener)"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ThreadHeaderText(c.Kind, c.Thread, kTexts), c.Expected);
}

// Each table line reduced to its shape: separator, empty span, header or row.
TEST(ReportText, CallStackGroupsOpenWithTheirThreadHeaders) {
    std::vector<TCallStackEntry> entries = {
        Entry(1, TStackKind::ExceptionThread, 10, true),
        Entry(2, TStackKind::ExceptionThread, 10),
        Entry(3, TStackKind::CallingThread, 10),
        Entry(4, TStackKind::ExceptionThread, 10, true),
        Entry(5, TStackKind::RunningThread, 11),
        Entry(6, TStackKind::RunningThread, 12),
    };
    std::vector<std::string> shapes;
    const std::vector<std::string> lines = Lines(CallStackText(entries, kTexts));
    for (std::size_t i = 4; i + 3 < lines.size(); ++i) {
        const std::string inner = lines[i].substr(1, lines[i].size() - 2);
        if (inner.find_first_not_of('-') == std::string::npos)
            shapes.push_back("-");
        else if (inner.find_first_not_of(' ') == std::string::npos)
            shapes.push_back("");
        else if (inner.find("Thread:") != std::string::npos)
            shapes.push_back(inner.substr(0, inner.find(';')));
        else
            shapes.push_back("row");
    }
    const std::vector<std::string> expected = {"Exception Thread: ID=10", "-", "row", "row", "-",
                                               "Calling Thread: ID=10",   "-", "row", "-",   "",
                                               "Exception Thread: ID=10", "-", "row", "-",   "",
                                               "Running Thread: ID=11",   "-", "row", "-",   "",
                                               "Running Thread: ID=12",   "-", "row"};
    EXPECT_EQ(shapes, expected);
    EXPECT_EQ(lines[4].size(), lines[3].size()); // spans as long as the dash lines
}

TEST(ReportText, CpuSectionWithAndWithoutContextAndDumps) {
    TCpuContext context;
    context.Valid = true;
    context.RAX = 1;
    context.RSP = 0x7FFD0000;
    context.RIP = 0x401000;
    context.R8 = 0xFFFFFFFFFFFFFFFF;
    TMemoryDump stack{0x7FFD0000, std::vector<std::uint8_t>(128)};
    stack.Bytes[0] = 0x2A;
    stack.Bytes[7] = 0x80;
    TMemoryDump memory{0x401000, std::vector<std::uint8_t>(256)};
    const std::string hello = "Hello\x01\x7F~ world!";
    std::copy(hello.begin(), hello.end(), memory.Bytes.begin());

    const std::vector<std::string> full = Lines(CpuSectionText(context, stack, memory, kTexts));
    ASSERT_EQ(full.size(), 30u);
    EXPECT_EQ(full[0], "Registers:");
    EXPECT_EQ(full[1], std::string(45, '-'));
    EXPECT_EQ(full[2], "RAX: 0000000000000001   RDI: 0000000000000000");
    EXPECT_EQ(full[4], "RCX: 0000000000000000   RSP: 000000007FFD0000");
    EXPECT_EQ(full[6], "R8 : FFFFFFFFFFFFFFFF   R12: 0000000000000000");
    EXPECT_EQ(full[10], "");
    EXPECT_EQ(full[11], "Stack:                               Memory Dump:");
    EXPECT_EQ(full[12], std::string(34, '-') + "   " + std::string(83, '-'));
    EXPECT_EQ(full[13], "000000007FFD0000: 800000000000002A   0000000000401000: "
                        "48 65 6C 6C 6F 01 7F 7E 20 77 6F 72 6C 64 21 00  Hello..~ world!.");
    EXPECT_EQ(full[28].substr(0, 55), "000000007FFD0078: 0000000000000000   00000000004010F0: ");
    EXPECT_EQ(full[29], "");

    const std::vector<std::string> none = Lines(CpuSectionText({}, {}, {}, kTexts));
    ASSERT_EQ(none.size(), 14u);
    EXPECT_EQ(none[9], "R11: ????????????????   R15: ????????????????");
    EXPECT_EQ(none[13], "");

    const TMemoryDump unreadable{0x10, {}};
    const std::vector<std::string> stackOnly =
        Lines(CpuSectionText(context, stack, unreadable, kTexts));
    ASSERT_EQ(stackOnly.size(), 30u);
    EXPECT_EQ(stackOnly[13], "000000007FFD0000: 800000000000002A");
    EXPECT_EQ(Lines(CpuSectionText(context, {}, memory, kTexts)).size(), 14u);
}

TEST(ReportText, LogOptionsChooseTheSections) {
    TCrashReport report = SmallReport();
    report.Disassembly = "> 0000000000401000  C3  ret\r\n";
    const struct {
        std::uint8_t Options;
        bool Tables, Cpu;
    } cases[] = {{0, false, false},
                 {0x10, true, false},
                 {0x20, false, true},
                 {0x30, true, true},
                 {0xCF, false, false}};
    for (const auto& c : cases) {
        const std::string text = ReportText(report, kTexts, c.Options);
        EXPECT_NE(text.find("Call Stack Information:"), std::string::npos);
        EXPECT_EQ(text.find("Modules Information:") != std::string::npos, c.Tables);
        EXPECT_EQ(text.find("Processes Information:") != std::string::npos, c.Tables);
        EXPECT_EQ(text.find("\r\n\r\n> 0000000000401000") != std::string::npos, c.Cpu);
        EXPECT_EQ(text.find("ret\r\n\r\nRegisters:\r\n") != std::string::npos, c.Cpu);
    }
}
