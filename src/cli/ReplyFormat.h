#pragma once

#include "cli/CliOptions.h"
#include "discovery/ReplyTable.h"

#include <string>
#include <string_view>

// How a search prints one recorded reply. Each returns whole lines, each
// ending in "\n". The reply's Info is GBK and is decoded to UTF-8.

// The address, then the reply's lines, the first beside the address and the
// others indented under it; control characters shown as "\xHH".
std::string TextReply(const TDEVICE_INFO1& reply);
// address TAB port TAB reply; the reply escaped with TsvField.
std::string TsvReply(const TDEVICE_INFO1& reply);
// {"ip":…,"port":…,"info":…,"hex":…}: the decoded text (invalid bytes as
// U+FFFD) and the payload's exact bytes as lower-case hex.
std::string JsonReply(const TDEVICE_INFO1& reply);
std::string FormatReply(ReplyFormat format, const TDEVICE_INFO1& reply);

// Column where the text format puts a reply's lines: past the longest
// dotted quad and two blanks.
inline constexpr std::size_t kTextReplyColumn = 17;

// Backslash, tab, CR, LF and NUL as \\, \t, \r, \n and \0, every other control
// byte and DEL as \xHH: the field keeps to one line and one column, a shell
// can hold it, and no reply can steer the terminal it is printed on.
std::string TsvField(std::string_view text);
// A quoted JSON string of UTF-8 text, escaped as RFC 8259 requires.
std::string JsonString(std::string_view utf8);
std::string HexBytes(std::string_view bytes);
