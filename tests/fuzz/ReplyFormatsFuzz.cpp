#include "FuzzCheck.h"
#include "cli/ReplyFormat.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

namespace {

// A strict reader of the one-line objects JsonReply writes: string and number
// values, RFC 8259 escapes, no raw control character inside a string.
class JsonLine {
public:
    explicit JsonLine(std::string_view text) : rest_(text) {}

    bool Parse(std::map<std::string, std::string>& values) {
        if (!Take('{'))
            return false;
        do {
            std::string key, value;
            if (!String(key) || !Take(':') || !(String(value) || Number(value)))
                return false;
            values[key] = value;
        } while (Take(','));
        return Take('}') && Take('\n') && rest_.empty();
    }

private:
    bool Take(char c) {
        if (rest_.empty() || rest_[0] != c)
            return false;
        rest_.remove_prefix(1);
        return true;
    }

    bool Number(std::string& out) {
        while (!rest_.empty() && rest_[0] >= '0' && rest_[0] <= '9') {
            out += rest_[0];
            rest_.remove_prefix(1);
        }
        return !out.empty();
    }

    bool Hex4(unsigned& value) {
        if (rest_.size() < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = rest_[static_cast<size_t>(i)];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0)
                return false;
            value = value << 4 | static_cast<unsigned>(digit);
        }
        rest_.remove_prefix(4);
        return true;
    }

    static void Utf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool String(std::string& out) {
        if (!Take('"'))
            return false;
        while (!rest_.empty() && rest_[0] != '"') {
            const char c = rest_[0];
            rest_.remove_prefix(1);
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (rest_.empty())
                return false;
            const char e = rest_[0];
            rest_.remove_prefix(1);
            const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
            if (const size_t at = simple.find(e); at != std::string_view::npos) {
                out += meaning[at];
            } else if (unsigned code; e == 'u' && Hex4(code) && code < 0xD800) {
                Utf8(code, out); // the writer escapes control characters only
            } else {
                return false;
            }
        }
        return Take('"');
    }

    std::string_view rest_;
};

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// No byte that could steer a terminal: only the allowed layout characters.
bool OnlyVisible(const std::string& text, std::string_view allowed) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && allowed.find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

} // namespace

// A device's reply in each output format of device-finder-cli.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    TDEVICE_INFO1 reply;
    reply.IP = "198.51.100.2";
    reply.Port = "6001";
    reply.Info.assign(reinterpret_cast<const char*>(data), size);

    const std::string text = TextReply(reply);
    FUZZ_CHECK(text.ends_with('\n') && OnlyVisible(text, "\n\t"));

    const std::string tsv = TsvReply(reply);
    FUZZ_CHECK(tsv.ends_with('\n') && tsv.find('\n') == tsv.size() - 1);
    FUZZ_CHECK(std::count(tsv.begin(), tsv.end(), '\t') == 2 && OnlyVisible(tsv, "\n\t"));

    std::map<std::string, std::string> values;
    FUZZ_CHECK(JsonLine(JsonReply(reply)).Parse(values));
    FUZZ_CHECK(values.size() == 4 && values["ip"] == reply.IP && values["port"] == reply.Port);
    FUZZ_CHECK(FromHex(values["hex"]) == reply.Info);
    FUZZ_CHECK(values["info"] == GbkToUtf8(reply.Info));
    return 0;
}
