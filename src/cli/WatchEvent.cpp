#include "cli/WatchEvent.h"

#include "cli/ReplyFormat.h"

#include <cstdio>
#include <ctime>

namespace {

// The text format's event column: the longest name and a blank.
constexpr std::size_t kEventColumn = 8;

} // namespace

const char* WatchEventName(WatchEventKind kind) {
    switch (kind) {
    case WatchEventKind::Up:
        return "up";
    case WatchEventKind::Changed:
        return "changed";
    case WatchEventKind::Down:
        break;
    }
    return "down";
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
    const auto sinceEpoch =
        std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(sinceEpoch / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96]; // room for any int the fields can hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(sinceEpoch % 1000));
    return text;
}

std::string FormatWatchEvent(ReplyFormat format, WatchEventKind kind,
                             std::chrono::system_clock::time_point time, const ShownReply& reply) {
    const std::string name = WatchEventName(kind);
    const std::string when = UtcTimeText(time);
    const std::string shown = FormatShownReply(format, reply);
    switch (format) {
    case ReplyFormat::Tsv:
        return when + '\t' + name + '\t' + shown;
    case ReplyFormat::Json:
        return "{\"event\":" + JsonString(name) + ",\"time\":" + JsonString(when) + "," +
               shown.substr(1);
    case ReplyFormat::Text:
        break;
    }
    std::string lead = when + "  " + name;
    lead.resize(when.size() + 2 + kEventColumn, ' ');
    return WithLeadColumn(shown, lead);
}
