#include "cli/ShownReply.h"

#include "cli/ReplyFormat.h"
#include "cli/TerminalText.h"

namespace {

std::string WithoutLast(std::string text, std::size_t count) {
    text.resize(text.size() - count);
    return text;
}

// Every row has the same shape, MAC known or not, so that rows line up: the
// address and MAC ("-" when unknown) and maker, then the reply's lines.
std::string HardwareTextLines(const ShownReply& reply) {
    std::string out = reply.record.IP;
    out.append(out.size() + 2 <= kTextReplyColumn ? kTextReplyColumn - out.size() : 2, ' ');
    out += reply.hardware.mac.empty() ? "-" : reply.hardware.mac;
    if (!reply.hardware.vendor.empty())
        out += "  " + VisibleText(reply.hardware.vendor);
    out += '\n';
    // The reply's lines, each under the address column's end.
    TDEVICE_INFO1 unaddressed = reply.record;
    unaddressed.IP.clear();
    if (const std::string lines = TextReply(unaddressed); lines != "\n")
        out += lines;
    return out;
}

// Puts the adapter's number before the first line and blanks of the same
// width before the others.
std::string WithAdapterColumn(const std::string& lines, int adapter) {
    std::string number = std::to_string(adapter);
    number.resize(std::max(number.size() + 1, kTextAdapterColumn), ' ');
    return WithLeadColumn(lines, number);
}

} // namespace

std::string WithLeadColumn(const std::string& lines, const std::string& lead) {
    const std::string blank(lead.size(), ' ');
    std::string out = lead;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (lines[i] == '\n' && i + 1 < lines.size())
            out += blank;
    }
    return out;
}

std::string FormatShownReply(ReplyFormat format, const ShownReply& reply) {
    const TDeviceHardware& hardware = reply.hardware;
    const std::string adapter = std::to_string(reply.adapter);
    switch (format) {
    case ReplyFormat::Tsv:
        return WithoutLast(TsvReply(reply.record), 1) + '\t' + TsvField(hardware.mac) + '\t' +
               TsvField(hardware.vendor) + (reply.adapter > 0 ? '\t' + adapter : "") + '\n';
    case ReplyFormat::Json:
        return WithoutLast(JsonReply(reply.record), 2) + ",\"mac\":" + JsonString(hardware.mac) +
               ",\"vendor\":" + JsonString(hardware.vendor) +
               (reply.adapter > 0 ? ",\"adapter\":" + adapter : "") + "}\n";
    case ReplyFormat::Text:
        break;
    }
    const std::string lines = HardwareTextLines(reply);
    return reply.adapter > 0 ? WithAdapterColumn(lines, reply.adapter) : lines;
}
