#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The probe that asks devices to answer: "~who has voip device?~" as hex text.
inline constexpr const char* ProbeText = "7e77686f2068617320766f6970206465766963653f7e";

// The probe's bytes: two hex digits a byte, an odd last digit dropped.
std::vector<std::uint8_t> PrepareProbe(const std::string& hexText = ProbeText);

// Hex text to a signed 32-bit number, wrapping. Blanks and control characters
// around the text are ignored; a character that is not a hex digit counts as 0.
std::int32_t HexTextToInteger(const std::string& text);
