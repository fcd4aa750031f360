#pragma once

#include <string>

// Removes leading and trailing characters whose code is 32 or below (blanks
// and control characters), as every text-trimming rule of the system does.
inline std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.substr(begin, end - begin);
}
