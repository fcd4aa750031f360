#pragma once

#include <cstdint>

// Small numeric routines of the discovery code.

// 0 to 15 for "0"-"9", "A"-"F" and "a"-"f"; 0 for every other character.
int HexDigitValue(char c);

// `base` raised to `exponent` in wrapping 32-bit arithmetic; 1 when the
// exponent is 0 or negative.
std::int32_t IntPower(std::int32_t base, std::int32_t exponent);
