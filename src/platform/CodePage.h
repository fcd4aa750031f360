#pragma once

#include <string>
#include <string_view>

// Every 8-bit text of the system is code page 936 (GBK), whatever the host's
// locale. These two functions are the only crossing to and from Unicode.

// GBK bytes to UTF-8. A byte or sequence that is not GBK becomes U+FFFD; the
// conversion never fails and never drops the rest of the text.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. A character GBK cannot hold, or an invalid UTF-8 sequence,
// becomes "?".
std::string Utf8ToGbk(std::string_view utf8);
