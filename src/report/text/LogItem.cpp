#include "report/text/LogItem.h"

#include <algorithm>

namespace {

bool IsBlank(const std::string& line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::string Escaped(std::string line) {
    for (std::size_t at = line.find(": "); at != std::string::npos; at = line.find(": ", at + 2))
        line[at + 1] = '_';
    return line;
}

} // namespace

std::vector<std::string> ValueLines(const std::string& value) {
    std::vector<std::string> lines;
    std::string line;
    auto add = [&lines](const std::string& text) {
        if (lines.empty())
            lines.push_back(Escaped(text));
        else
            lines.push_back(IsBlank(text) ? " ." : std::string(" ").append(Escaped(text)));
    };
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\r' && value[i] != '\n') {
            line += value[i];
            continue;
        }
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
            ++i;
        add(line);
        line.clear();
    }
    add(line);
    return lines;
}

void TLogItem::AddHeader(const std::string& header) {
    blocks_.push_back({header, {}, 0});
}

void TLogItem::AddItem(const std::string& label, const std::string& value, bool show) {
    if (blocks_.empty())
        AddHeader("");
    TBlock& block = blocks_.back();
    ++block.ItemCount;
    if (!show)
        return;
    block.Lines.push_back({"  " + std::to_string(blocks_.size()) + "." +
                               std::to_string(block.ItemCount) + " " + label,
                           ValueLines(value)});
}

std::string TLogItem::Text() const {
    std::string text;
    for (const TBlock& block : blocks_) {
        if (block.Lines.empty())
            continue;
        std::size_t headWidth = 0;
        for (const TItemLine& line : block.Lines)
            headWidth = std::max(headWidth, line.Head.size());
        std::vector<std::string> lines;
        for (const TItemLine& line : block.Lines) {
            lines.push_back(line.Head + std::string(headWidth - line.Head.size(), ' ') + ": " +
                            line.Values.front());
            lines.insert(lines.end(), line.Values.begin() + 1, line.Values.end());
        }
        std::size_t width = block.Header.size() + 1;
        for (const std::string& line : lines)
            width = std::max(width, line.size());
        if (!text.empty())
            text += "\r\n\r\n";
        text += block.Header + ":\r\n" + std::string(width, '-');
        for (const std::string& line : lines)
            text += "\r\n" + line;
    }
    return text;
}
