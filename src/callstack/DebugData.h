#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where an address of the program lies in its sources.
struct TSourcePlace {
    std::string Unit;
    std::string Class;
    std::string Procedure;
    int Line = 0;       // 0: no line known
    int LineOffset = 0; // Line minus the procedure's first line
};

// Names addresses of the program from its debug-data block alone, so a build
// stripped of its DWARF still names its frames. Read-only once loaded; any
// thread may look up.
class TDebugData {
public:
    TDebugData() = default;

    // From the inflated block; nullopt when the bytes are not a block this
    // program can read.
    static std::optional<TDebugData> FromBytes(std::string_view bytes);

    // `address` is a link-time address of the executable.
    std::optional<TSourcePlace> Find(std::uint64_t address) const;

    std::size_t ProcedureCount() const { return procedures_.size(); }

private:
    struct TProcedure {
        std::uint64_t Start;
        std::uint32_t Size, Unit, Class, Name, FirstLine;
    };
    struct TLine {
        std::uint64_t Address;
        std::int64_t Line;
    };

    bool Parse(std::string_view bytes);
    const char* Text(std::uint32_t offset) const;

    std::vector<std::uint32_t> units_, classes_;
    std::vector<TProcedure> procedures_;
    std::vector<TLine> lines_;
    std::string strings_;
};
