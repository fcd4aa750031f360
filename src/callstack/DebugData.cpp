#include "callstack/DebugData.h"

#include "callstack/DebugDataFormat.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// A bounds-checked little-endian reader; any read past the end fails the
// whole parse instead of reading beyond the block.
class TReader {
public:
    explicit TReader(std::string_view bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    std::size_t Left() const { return bytes_.size() - at_; }

    std::uint64_t Fixed(int width) {
        if (Left() < static_cast<std::size_t>(width)) {
            ok_ = false;
            return 0;
        }
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= std::uint64_t(static_cast<std::uint8_t>(bytes_[at_ + i])) << (8 * i);
        at_ += width;
        return value;
    }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Fixed(4)); }

    std::uint64_t Unsigned() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const std::uint64_t byte = Fixed(1);
            value |= (byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        ok_ = false;
        return 0;
    }
    std::int64_t Signed() {
        const std::uint64_t zigzag = Unsigned();
        return static_cast<std::int64_t>(zigzag >> 1) ^ -static_cast<std::int64_t>(zigzag & 1);
    }
    std::string_view Rest() const { return bytes_.substr(at_); }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace

std::optional<TDebugData> TDebugData::FromBytes(std::string_view bytes) {
    TDebugData data;
    if (!data.Parse(bytes))
        return std::nullopt;
    return data;
}

bool TDebugData::Parse(std::string_view bytes) {
    TReader in(bytes);
    if (in.U32() != DebugDataFormat::Magic || in.Fixed(2) != DebugDataFormat::Version)
        return false;
    in.Fixed(2);
    const std::uint32_t unitCount = in.U32(), classCount = in.U32(), procedureCount = in.U32(),
                        lineCount = in.U32(), stringBytes = in.U32();
    // Every count is bounded by the bytes left before anything is reserved.
    if (!in.Ok() || std::uint64_t(unitCount + std::uint64_t(classCount)) * 4 +
                            std::uint64_t(procedureCount) * DebugDataFormat::ProcedureSize +
                            std::uint64_t(lineCount) * 2 + stringBytes >
                        in.Left())
        return false;
    units_.resize(unitCount);
    for (std::uint32_t& unit : units_)
        unit = in.U32();
    classes_.resize(classCount);
    for (std::uint32_t& cls : classes_)
        cls = in.U32();
    procedures_.resize(procedureCount);
    for (TProcedure& p : procedures_) {
        p.Start = in.Fixed(8);
        p.Size = in.U32(), p.Unit = in.U32(), p.Class = in.U32(), p.Name = in.U32();
        p.FirstLine = in.U32();
    }
    lines_.resize(lineCount);
    std::uint64_t address = 0;
    std::int64_t line = 0;
    // Lines and first lines must fit the int the report shows them as.
    constexpr std::int64_t kMaxLine = std::numeric_limits<int>::max();
    for (TLine& row : lines_) {
        address += in.Unsigned();
        if (__builtin_add_overflow(line, in.Signed(), &line) || line < 0 || line > kMaxLine)
            return false;
        row = {address, line};
    }
    for (const TProcedure& p : procedures_)
        if (p.FirstLine > kMaxLine)
            return false;
    if (!in.Ok() || in.Rest().size() != stringBytes)
        return false;
    strings_ = std::string(in.Rest());
    if (!strings_.empty() && strings_.back() != '\0')
        return false;
    auto inStrings = [&](std::uint32_t offset) { return offset < strings_.size(); };
    for (const TProcedure& p : procedures_)
        if (p.Unit >= unitCount || p.Class >= classCount || !inStrings(p.Name))
            return false;
    return std::all_of(units_.begin(), units_.end(), inStrings) &&
           std::all_of(classes_.begin(), classes_.end(), inStrings);
}

const char* TDebugData::Text(std::uint32_t offset) const {
    return strings_.c_str() + offset;
}

std::optional<TSourcePlace> TDebugData::Find(std::uint64_t address) const {
    auto after = std::upper_bound(procedures_.begin(), procedures_.end(), address,
                                  [](std::uint64_t a, const TProcedure& p) { return a < p.Start; });
    if (after == procedures_.begin())
        return std::nullopt;
    const TProcedure& p = *std::prev(after);
    if (address - p.Start >= p.Size)
        return std::nullopt;
    TSourcePlace place{Text(units_[p.Unit]), Text(classes_[p.Class]), Text(p.Name), 0, 0};
    auto row = std::upper_bound(lines_.begin(), lines_.end(), address,
                                [](std::uint64_t a, const TLine& l) { return a < l.Address; });
    if (row != lines_.begin() && std::prev(row)->Address >= p.Start && std::prev(row)->Line > 0) {
        place.Line = static_cast<int>(std::prev(row)->Line);
        place.LineOffset = place.Line - static_cast<int>(p.FirstLine);
    }
    return place;
}
