#pragma once

#include "cli/CliOptions.h"
#include "cli/DeviceWatch.h"
#include "cli/ShownReply.h"

#include <chrono>
#include <string>

// "up", "changed" or "down".
const char* WatchEventName(WatchEventKind kind);

// ISO 8601 in UTC to the millisecond: "2026-12-09T18:01:19.123Z".
std::string UtcTimeText(std::chrono::system_clock::time_point time);

// One event of a watch as whole lines, the search's reply with the time and
// the event before it:
// - text: time, event and the reply's first line on one line, the reply's
//   other lines indented under it;
// - tsv: time TAB event TAB the search's fields;
// - json: the search's object with "event" and "time" first.
std::string FormatWatchEvent(ReplyFormat format, WatchEventKind kind,
                             std::chrono::system_clock::time_point time, const ShownReply& reply);
