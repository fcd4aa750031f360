#pragma once

#include <string>
#include <string_view>

// Texts from the network or the system go to a terminal through this: a
// control character (below 32 except tab, and 127) is shown as "\xHH", so a
// reply cannot move the cursor, clear the screen or retitle the window.
std::string VisibleText(std::string_view utf8);

// A GBK text for the terminal: decoded, CR LF line ends made LF, every other
// control character except LF made visible.
std::string VisibleGbkLines(std::string_view gbk);
