#include "cli/ReplyFormat.h"

#include "cli/TerminalText.h"
#include "platform/CodePage.h"

#include <cstdio>

std::string TextReply(const TDEVICE_INFO1& reply) {
    std::string text = VisibleGbkLines(reply.Info);
    // A line feed that ends the reply starts no further line.
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::string out = reply.IP;
    if (text.empty())
        return out + '\n';
    out.append(out.size() + 2 <= kTextReplyColumn ? kTextReplyColumn - out.size() : 2, ' ');
    for (const char c : text) {
        out += c;
        if (c == '\n')
            out.append(kTextReplyColumn, ' ');
    }
    return out + '\n';
}

std::string TsvField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[5];
                std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string TsvReply(const TDEVICE_INFO1& reply) {
    return reply.IP + '\t' + reply.Port + '\t' + TsvField(GbkToUtf8(reply.Info)) + '\n';
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[7];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

std::string HexBytes(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    }
    return out;
}

// The port is the record's decimal text, which is a valid JSON number.
std::string JsonReply(const TDEVICE_INFO1& reply) {
    return "{\"ip\":" + JsonString(reply.IP) + ",\"port\":" + reply.Port +
           ",\"info\":" + JsonString(GbkToUtf8(reply.Info)) + ",\"hex\":\"" + HexBytes(reply.Info) +
           "\"}\n";
}

std::string FormatReply(ReplyFormat format, const TDEVICE_INFO1& reply) {
    switch (format) {
    case ReplyFormat::Tsv:
        return TsvReply(reply);
    case ReplyFormat::Json:
        return JsonReply(reply);
    case ReplyFormat::Text:
        break;
    }
    return TextReply(reply);
}
