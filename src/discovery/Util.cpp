#include "discovery/Util.h"

int HexDigitValue(char c) {
    int code = static_cast<unsigned char>(c);
    if (code >= 'a')
        code -= 32;
    if (code >= '0' && code <= '9')
        return code - '0';
    if (code >= 'A' && code <= 'F')
        return code - 'A' + 10;
    return 0;
}

std::int32_t IntPower(std::int32_t base, std::int32_t exponent) {
    std::uint32_t result = 1;
    for (std::int32_t i = 0; i < exponent; ++i)
        result *= static_cast<std::uint32_t>(base);
    return static_cast<std::int32_t>(result);
}
