#pragma once

#include <string>
#include <vector>

// Writes the numbered label/value blocks at the head of a report:
//
//   Exception:
//   --------------------
//     2.1 Date     : ...
//     2.10 Note    : ...
//
// Blocks and items are numbered as they are added; a hidden item is not
// written but still takes its number, and a block left without a written item
// disappears with its header. The text is laid out when it is asked for.
class TLogItem {
public:
    void AddHeader(const std::string& header);
    void AddItem(const std::string& label, const std::string& value, bool show = true);

    // The blocks, "\r\n" between lines and an empty line between blocks, no
    // line end after the last line.
    std::string Text() const;

private:
    struct TItemLine {
        std::string Head;                // "  2.6 " and the label
        std::vector<std::string> Values; // the value's lines, already escaped
    };
    struct TBlock {
        std::string Header;
        std::vector<TItemLine> Lines;
        int ItemCount = 0;
    };
    std::vector<TBlock> blocks_;
};

// A value as it is written after its label: every line after the first starts
// with a space, an empty or blank line reads ".", and ": " becomes ":_", so no
// value line can be taken for a label. Lines may end in "\r\n", "\n" or "\r".
std::vector<std::string> ValueLines(const std::string& value);
