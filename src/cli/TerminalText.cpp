#include "cli/TerminalText.h"

#include "platform/CodePage.h"

#include <cstdio>

namespace {

void AppendVisible(std::string& out, char c) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        out += escaped;
    } else {
        out += c;
    }
}

} // namespace

std::string VisibleText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char c : utf8)
        AppendVisible(out, c);
    return out;
}

std::string VisibleGbkLines(std::string_view gbk) {
    const std::string text = GbkToUtf8(gbk);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            out += '\n';
        else if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            AppendVisible(out, text[i]);
    }
    return out;
}
