#pragma once

#include <string>

// The system's message text for an operating-system error number, as GBK text.
// It is the C library's text for that number in the current locale; a number
// the library does not know gives its "Unknown error N" text.
std::string SysErrorMessage(int code);
