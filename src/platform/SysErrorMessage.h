#pragma once

#include <string>

// The system's message text for an operating-system error number, as GBK text.
// The original platform's codes that our layers report (8, 111, 232) give that
// platform's texts; any other number is an errno and gives the C library's
// text in the current locale ("Unknown error N" for one it does not know).
std::string SysErrorMessage(int code);
