#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The naming tables of one executable, read from its DWARF.
struct TDwarfTables {
    struct TProcedure {
        std::uint64_t Start = 0, Size = 0; // one address range of the function
        std::string Unit, Class, Name;
        int FirstLine = 0;
    };
    struct TLine {
        std::uint64_t Address = 0;
        int Line = 0;
    };
    std::vector<TProcedure> Procedures; // sorted by Start
    std::vector<TLine> Lines;           // sorted by Address, one row per address
};

// Reads every compile unit of the ELF file at `path`. Code inlined into a
// function is given the line of its call in that function, so a frame's line
// always lies in the procedure it names. A file without DWARF gives empty
// tables. Throws std::runtime_error when the file cannot be read.
TDwarfTables ReadDwarfTables(const std::string& path);
