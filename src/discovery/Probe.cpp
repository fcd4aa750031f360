#include "discovery/Probe.h"

#include "discovery/Util.h"
#include "platform/SysUtils.h"

std::vector<std::uint8_t> PrepareProbe(const std::string& hexText) {
    std::vector<std::uint8_t> bytes(hexText.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(HexTextToInteger(hexText.substr(2 * i, 2)) & 0xFF);
    return bytes;
}

std::int32_t HexTextToInteger(const std::string& text) {
    std::string digits = Trim(text);
    for (char& c : digits)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    std::uint32_t sum = 0;
    const auto length = static_cast<std::int32_t>(digits.size());
    for (std::int32_t k = 1; k <= length; ++k)
        sum += static_cast<std::uint32_t>(HexDigitValue(digits[k - 1])) *
               static_cast<std::uint32_t>(IntPower(16, length - k));
    return static_cast<std::int32_t>(sum);
}
