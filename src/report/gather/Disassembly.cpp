#include "report/gather/Disassembly.h"

#include "report/gather/CpuDump.h"

#include <capstone/capstone.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kLead = 64;           // bytes read before the address
constexpr std::size_t kLinesAround = 8;     // instructions shown on each side
constexpr std::size_t kShownCodeBytes = 10; // code bytes shown on one line

class TDecoder {
public:
    TDecoder() {
        if (cs_open(CS_ARCH_X86, CS_MODE_64, &handle_) != CS_ERR_OK)
            handle_ = 0;
    }
    ~TDecoder() {
        if (handle_)
            cs_close(&handle_);
    }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    // The instructions decoded from `code`, which starts at `address`.
    std::vector<cs_insn> Decode(const std::vector<std::uint8_t>& code, std::size_t from,
                                std::uint64_t address) const {
        if (!handle_ || from >= code.size())
            return {};
        cs_insn* insns = nullptr;
        std::size_t count =
            cs_disasm(handle_, code.data() + from, code.size() - from, address, 0, &insns);
        std::vector<cs_insn> result(insns, insns + count);
        if (count)
            cs_free(insns, count);
        return result;
    }

private:
    csh handle_ = 0;
};

// The longest readable stretch of `size` bytes or less from `address`.
TMemoryDump ReadUpTo(std::uint64_t address, std::size_t size, const TMemoryReader& read) {
    for (; size >= 16; size /= 2) {
        TMemoryDump dump = read(address, size);
        if (!dump.Bytes.empty())
            return dump;
    }
    return {address, {}};
}

std::string Line(const cs_insn& insn, bool marked) {
    std::string bytes;
    for (std::size_t i = 0; i < insn.size && i < kShownCodeBytes; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", insn.bytes[i]);
        bytes += hex;
    }
    if (insn.size > kShownCodeBytes)
        bytes += "..";
    char text[256];
    std::snprintf(text, sizeof text, "%s %s  %-32s %-8s %s", marked ? ">" : " ",
                  Hex16(insn.address).c_str(), bytes.c_str(), insn.mnemonic, insn.op_str);
    std::string line = text;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + "\r\n";
}

} // namespace

std::string DisassemblyText(std::uint64_t address) {
    return DisassemblyText(address, ReadMemory);
}

std::string DisassemblyText(std::uint64_t address, const TMemoryReader& read) {
    const TMemoryDump after = ReadUpTo(address, 128, read);
    if (after.Bytes.empty())
        return "";
    TMemoryDump before = address >= kLead ? read(address - kLead, kLead) : TMemoryDump{};
    std::vector<std::uint8_t> code = before.Bytes;
    code.insert(code.end(), after.Bytes.begin(), after.Bytes.end());
    const std::uint64_t codeStart = address - before.Bytes.size();

    const TDecoder decoder;
    std::vector<cs_insn> insns;
    std::size_t at = 0;
    for (std::size_t from = 0; from <= before.Bytes.size(); ++from) {
        insns = decoder.Decode(code, from, codeStart + from);
        at = 0;
        while (at < insns.size() && insns[at].address < address)
            ++at;
        if (at < insns.size() && insns[at].address == address)
            break;
    }
    if (at >= insns.size() || insns[at].address != address)
        return "";
    std::string text;
    std::size_t first = at > kLinesAround ? at - kLinesAround : 0;
    for (std::size_t i = first; i < insns.size() && i < at + kLinesAround; ++i)
        text += Line(insns[i], i == at);
    return text;
}
