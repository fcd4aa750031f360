#include "SimOptions.h"

#include "SimCore.h"
#include "platform/CodePage.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <set>

const char* const kSimUsage =
    "usage: device-sim [--reply-text T | --reply-file F] [--devices N --first-ip A]\n"
    "                  [--delay MS] [--jitter MS] [--spread MS] [--replies K]\n"
    "                  [--log FILE] [--ready-file FILE] [--allow-any-netns]\n";

namespace {

std::uint64_t ParseNumber(std::string_view name, std::string_view text, std::uint64_t min,
                          std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
        value > max) {
        throw UsageError(std::string(name) + " needs a whole number from " + std::to_string(min) +
                         " to " + std::to_string(max) + ", not '" + std::string(text) + "'");
    }
    return value;
}

std::string ReadReplyFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw UsageError("cannot read reply file '" + path + "'");
    }
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw UsageError("cannot read reply file '" + path + "'");
    }
    return bytes;
}

// GBK cannot hold every character, and the converter marks those with "?";
// refusing such text keeps a test from silently sending something else.
std::string TextToGbk(std::string_view text) {
    const std::string utf8 = DecodeEscapes(text);
    std::string gbk = Utf8ToGbk(utf8);
    if (GbkToUtf8(gbk) != utf8) {
        throw UsageError("--reply-text is not UTF-8 text that GBK can hold; use --reply-file");
    }
    return gbk;
}

struct Parser {
    SimOptions options;
    std::set<std::string_view> seen;
    bool haveReply = false;

    void Apply(std::string_view name, std::string_view value) {
        if (name == "--reply-text" || name == "--reply-file") {
            if (haveReply) {
                throw UsageError("give one of --reply-text and --reply-file");
            }
            haveReply = true;
            options.reply =
                name == "--reply-text" ? TextToGbk(value) : ReadReplyFile(std::string(value));
        } else if (name == "--devices") {
            options.devices = static_cast<std::uint32_t>(ParseNumber(name, value, 1, 65536));
        } else if (name == "--first-ip") {
            options.firstIp = ParseIpv4(value);
        } else if (name == "--delay") {
            options.delay = std::chrono::milliseconds(ParseNumber(name, value, 0, 600'000));
        } else if (name == "--jitter") {
            options.jitter = std::chrono::milliseconds(ParseNumber(name, value, 0, 600'000));
        } else if (name == "--spread") {
            options.spread = std::chrono::milliseconds(ParseNumber(name, value, 0, 600'000));
        } else if (name == "--replies") {
            options.replies = static_cast<std::uint32_t>(ParseNumber(name, value, 1, 1000));
        } else if (name == "--log") {
            options.logPath = value;
        } else if (name == "--ready-file") {
            options.readyPath = value;
        } else {
            throw UsageError("unknown option '" + std::string(name) + "'");
        }
    }

    void Check() const {
        if (options.reply.size() > kMaxReplyBytes) {
            throw UsageError("the reply is longer than one UDP datagram can carry (" +
                             std::to_string(kMaxReplyBytes) + " bytes)");
        }
        // Two simulators sending each other the probe would answer forever.
        if (IsProbe(options.reply)) {
            throw UsageError("the reply must not be the probe itself");
        }
        if (options.devices > 1 && !options.firstIp) {
            throw UsageError("--devices above 1 needs --first-ip");
        }
        if (options.firstIp &&
            std::uint64_t{*options.firstIp} + options.devices - 1 > 0xFFFFFFFFu) {
            throw UsageError("--first-ip plus --devices runs past 255.255.255.255");
        }
        if (std::uint64_t{options.devices} * options.replies > kMaxRepliesPerProbe) {
            throw UsageError("--devices times --replies is above " +
                             std::to_string(kMaxRepliesPerProbe));
        }
    }
};

} // namespace

SimOptions ParseSimOptions(const std::vector<std::string_view>& args) {
    Parser parser;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (!parser.seen.insert(name).second) {
            throw UsageError("option '" + std::string(name) + "' given twice");
        }
        if (name == "--allow-any-netns") {
            parser.options.allowAnyNetns = true;
            continue;
        }
        if (i + 1 == args.size()) {
            throw UsageError("option '" + std::string(name) + "' needs a value");
        }
        parser.Apply(name, args[++i]);
    }
    parser.Check();
    return parser.options;
}

std::string DecodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            throw UsageError("--reply-text ends in a lone backslash");
        }
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            throw UsageError(std::string("--reply-text has an unknown escape \\") + text[i]);
        }
    }
    return out;
}

std::uint32_t ParseIpv4(std::string_view text) {
    std::uint32_t address = 0;
    std::string_view rest = text;
    for (int part = 0; part < 4; ++part) {
        const auto dot = part < 3 ? rest.find('.') : rest.size();
        if (dot == std::string_view::npos || dot == 0 || dot > 3) {
            throw UsageError("'" + std::string(text) + "' is not an IPv4 address");
        }
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + dot, value);
        if (ec != std::errc() || end != rest.data() + dot || value > 255) {
            throw UsageError("'" + std::string(text) + "' is not an IPv4 address");
        }
        address = address << 8 | value;
        rest.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return address;
}

std::string FormatIpv4(std::uint32_t hostOrder) {
    return std::to_string(hostOrder >> 24) + "." + std::to_string(hostOrder >> 16 & 0xFF) + "." +
           std::to_string(hostOrder >> 8 & 0xFF) + "." + std::to_string(hostOrder & 0xFF);
}
