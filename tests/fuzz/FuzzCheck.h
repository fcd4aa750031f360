#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A property a fuzz target checks: a violation aborts, and libFuzzer keeps
// the input as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
inline bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > text.size())
            return false;
        unsigned long code = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t >> 6) != 2)
                return false;
            code = code << 6 | (t & 0x3F);
        }
        const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}
