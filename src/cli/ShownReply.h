#pragma once

#include "cli/CliOptions.h"
#include "discovery/HardwareLookup.h"
#include "discovery/ReplyTable.h"

#include <string>

// One reply as a search prints it: the record, the sending device's hardware
// and, when the search runs on every adapter, the number of the adapter that
// heard it (0 otherwise).
struct ShownReply {
    const TDEVICE_INFO1& record;
    TDeviceHardware hardware;
    int adapter = 0;
};

// Whole lines, each ending in "\n":
// - text: the address, MAC ("-" when unknown) and maker on one line and the
//   reply's lines indented under it. The adapter's number leads as a column
//   of its own.
// - tsv: TsvReply's fields, then MAC and maker, then the adapter's number.
// - json: JsonReply's object with "mac", "vendor" and then "adapter".
std::string FormatShownReply(ReplyFormat format, const ShownReply& reply);

// `lead` before the first of `lines` and as many blanks before each other
// line, so the lines stand in a column of their own after it.
std::string WithLeadColumn(const std::string& lines, const std::string& lead);

// Width of the adapter column of the text format.
inline constexpr std::size_t kTextAdapterColumn = 4;
