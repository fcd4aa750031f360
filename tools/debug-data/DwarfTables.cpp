#include "DwarfTables.h"

#include <algorithm>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <map>
#include <stdexcept>
#include <unistd.h>

namespace {

struct TRange {
    Dwarf_Addr Low, High;
};

std::vector<TRange> RangesOf(Dwarf_Die* die) {
    std::vector<TRange> ranges;
    Dwarf_Addr base = 0, low = 0, high = 0;
    for (ptrdiff_t at = 0; (at = dwarf_ranges(die, at, &base, &low, &high)) > 0;)
        if (high > low)
            ranges.push_back({low, high});
    return ranges;
}

// "src/report/ThrowSite.cpp" -> "ThrowSite"
std::string UnitName(const char* file) {
    std::string name = file ? file : "";
    name = name.substr(name.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ScopeName(Dwarf_Die* die) {
    const char* name = dwarf_diename(die);
    if (name)
        return name;
    return dwarf_tag(die) == DW_TAG_namespace ? "(anonymous namespace)" : "{unnamed}";
}

bool IsScope(int tag) {
    return tag == DW_TAG_namespace || tag == DW_TAG_class_type || tag == DW_TAG_structure_type ||
           tag == DW_TAG_union_type;
}

// Follows a concrete function to the declaration that carries its name.
Dwarf_Die Declaration(Dwarf_Die die) {
    for (int hops = 0; hops < 8; ++hops) {
        Dwarf_Attribute attribute;
        Dwarf_Die next;
        if (!dwarf_attr(&die, DW_AT_abstract_origin, &attribute) &&
            !dwarf_attr(&die, DW_AT_specification, &attribute))
            break;
        if (!dwarf_formref_die(&attribute, &next))
            break;
        die = next;
    }
    return die;
}

class TReader {
public:
    void ReadUnit(Dwarf_Die* unit) {
        ReadLines(unit);
        Dwarf_Die child;
        if (dwarf_child(unit, &child) == 0)
            Walk(&child, "");
    }

    TDwarfTables Finish() {
        TDwarfTables tables;
        for (const TCandidate& c : candidates_) {
            Dwarf_Die die = c.Die, declaration = Declaration(c.Die);
            const char* name = dwarf_diename(&declaration);
            if (!name)
                continue;
            auto scope = scopes_.find(dwarf_dieoffset(&declaration));
            int firstLine = 0;
            dwarf_decl_line(&die, &firstLine);
            for (const TRange& r : RangesOf(&die))
                if (r.Low != 0) // 0: code the linker dropped
                    tables.Procedures.push_back(
                        {r.Low, r.High - r.Low, UnitName(dwarf_decl_file(&die)),
                         scope == scopes_.end() ? c.Scope : scope->second, name, firstLine});
        }
        std::sort(tables.Procedures.begin(), tables.Procedures.end(),
                  [](const auto& a, const auto& b) { return a.Start < b.Start; });
        // Inlined code takes the line of its call, wherever its own source is.
        for (const TCall& call : calls_)
            for (auto row = lines_.lower_bound(call.Low);
                 row != lines_.end() && row->first < call.High; ++row)
                row->second = call.Line;
        for (const TCall& call : calls_)
            lines_.emplace(call.Low, call.Line);
        // Only rows inside a function can name a frame.
        auto procedure = tables.Procedures.begin();
        for (const auto& [address, line] : lines_) {
            while (procedure != tables.Procedures.end() &&
                   procedure->Start + procedure->Size <= address)
                ++procedure;
            if (line > 0 && procedure != tables.Procedures.end() && procedure->Start <= address)
                tables.Lines.push_back({address, line});
        }
        return tables;
    }

private:
    struct TCandidate {
        Dwarf_Die Die;
        std::string Scope;
    };
    struct TCall {
        Dwarf_Addr Low, High;
        int Line;
    };

    void ReadLines(Dwarf_Die* unit) {
        Dwarf_Lines* lines = nullptr;
        std::size_t count = 0;
        if (dwarf_getsrclines(unit, &lines, &count) != 0)
            return;
        for (std::size_t i = 0; i < count; ++i) {
            Dwarf_Line* line = dwarf_onesrcline(lines, i);
            Dwarf_Addr address = 0;
            int number = 0;
            bool end = false;
            dwarf_lineaddr(line, &address);
            dwarf_lineno(line, &number);
            dwarf_lineendsequence(line, &end);
            // The last row at an address is the one that holds for it.
            lines_[address] = end ? 0 : number;
        }
    }

    void Walk(Dwarf_Die* die, const std::string& scope) {
        do {
            const int tag = dwarf_tag(die);
            if (tag == DW_TAG_subprogram) {
                scopes_[dwarf_dieoffset(die)] = scope;
                if (dwarf_hasattr(die, DW_AT_low_pc) || dwarf_hasattr(die, DW_AT_ranges)) {
                    candidates_.push_back({*die, scope});
                    ReadCalls(die);
                }
            }
            // Functions are scopes too: a lambda's class is declared inside one.
            Dwarf_Die child;
            if ((IsScope(tag) || tag == DW_TAG_subprogram) && dwarf_child(die, &child) == 0)
                Walk(&child, scope.empty() ? ScopeName(die) : scope + "::" + ScopeName(die));
        } while (dwarf_siblingof(die, die) == 0);
    }

    // The calls inlined directly into a function (through its blocks, not
    // into the inlined bodies, whose own calls lie within the outer one).
    void ReadCalls(Dwarf_Die* function) {
        Dwarf_Die child;
        if (dwarf_child(function, &child) != 0)
            return;
        do {
            const int tag = dwarf_tag(&child);
            if (tag == DW_TAG_inlined_subroutine) {
                Dwarf_Attribute attribute;
                Dwarf_Word line = 0;
                if (dwarf_formudata(dwarf_attr(&child, DW_AT_call_line, &attribute), &line) == 0)
                    for (const TRange& r : RangesOf(&child))
                        calls_.push_back({r.Low, r.High, static_cast<int>(line)});
            } else if (tag == DW_TAG_lexical_block) {
                ReadCalls(&child);
            }
        } while (dwarf_siblingof(&child, &child) == 0);
    }

    std::vector<TCandidate> candidates_;
    std::map<Dwarf_Off, std::string> scopes_;
    std::vector<TCall> calls_;
    std::map<Dwarf_Addr, int> lines_;
};

} // namespace

TDwarfTables ReadDwarfTables(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path);
    Dwarf* dwarf = dwarf_begin(fd, DWARF_C_READ);
    if (!dwarf) {
        // A build without debug information names no frames.
        close(fd);
        return {};
    }
    TReader reader;
    Dwarf_Off offset = 0, next = 0;
    std::size_t headerSize = 0;
    Dwarf_Die unit;
    while (dwarf_nextcu(dwarf, offset, &next, &headerSize, nullptr, nullptr, nullptr) == 0) {
        if (dwarf_offdie(dwarf, offset + headerSize, &unit))
            reader.ReadUnit(&unit);
        offset = next;
    }
    TDwarfTables tables = reader.Finish();
    dwarf_end(dwarf);
    close(fd);
    return tables;
}
