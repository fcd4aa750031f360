#include "report/text/CpuSectionText.h"

#include <cstdio>

std::string Hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
    return text;
}

namespace {

struct TRegisterCell {
    const char* Label;
    TCpuRegister Register;
    std::uint64_t Value;
};

std::string CellText(const TCpuContext& context, const TRegisterCell& cell) {
    return std::string(cell.Label) + ": " +
           (context.Known(cell.Register) ? Hex16(cell.Value) : std::string(16, '?'));
}

std::string RegisterLines(const TCpuContext& c) {
    using enum TCpuRegister;
    const TRegisterCell pairs[8][2] = {
        {{"RAX", RAX, c.RAX}, {"RDI", RDI, c.RDI}}, {{"RBX", RBX, c.RBX}, {"RSI", RSI, c.RSI}},
        {{"RCX", RCX, c.RCX}, {"RSP", RSP, c.RSP}}, {{"RDX", RDX, c.RDX}, {"RIP", RIP, c.RIP}},
        {{"R8 ", R8, c.R8}, {"R12", R12, c.R12}},   {{"R9 ", R9, c.R9}, {"R13", R13, c.R13}},
        {{"R10", R10, c.R10}, {"R14", R14, c.R14}}, {{"R11", R11, c.R11}, {"R15", R15, c.R15}},
    };
    std::string text;
    for (const auto& [left, right] : pairs)
        text += CellText(c, left) + "   " + CellText(c, right) + "\r\n";
    return text;
}

std::string SlotText(const TMemoryDump& stack, std::size_t line) {
    std::uint64_t slot = 0;
    for (int b = 7; b >= 0; --b)
        slot = slot << 8 | stack.Bytes[line * 8 + b];
    return Hex16(stack.Address + line * 8) + ": " + Hex16(slot);
}

std::string MemoryText(const TMemoryDump& memory, std::size_t line) {
    std::string text = Hex16(memory.Address + line * 16) + ": ";
    std::string chars;
    for (std::size_t i = 0; i < 16; ++i) {
        std::uint8_t byte = memory.Bytes[line * 16 + i];
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        text += hex;
        chars += byte < 32 || byte > 126 ? '.' : char(byte);
    }
    return text + " " + chars;
}

} // namespace

std::string CpuSectionText(const TCpuContext& context, const TMemoryDump& stack,
                           const TMemoryDump& memory, const TReportTexts& texts) {
    std::string text = texts[ReportTextIndex::Registers] + ":\r\n" + std::string(45, '-') + "\r\n" +
                       RegisterLines(context) + "\r\n";
    std::string stackTitle = texts[ReportTextIndex::Stack] + ":";
    if (stackTitle.size() < 37)
        stackTitle.resize(37, ' ');
    text += stackTitle + texts[ReportTextIndex::MemoryDump] + ":\r\n" + std::string(34, '-') +
            "   " + std::string(83, '-') + "\r\n";
    if (stack.Bytes.size() < kStackDumpSize)
        return text;
    // A jump to a bad address leaves nothing to dump there, but the stack
    // still tells where it came from: its column is written alone.
    const bool memoryRead = memory.Bytes.size() >= kMemoryDumpSize;
    for (std::size_t line = 0; line < 16; ++line)
        text +=
            SlotText(stack, line) + (memoryRead ? "   " + MemoryText(memory, line) : "") + "\r\n";
    return text;
}
