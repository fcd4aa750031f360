#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// Small numeric and timing routines of the discovery code.

// 0 to 15 for "0"-"9", "A"-"F" and "a"-"f"; 0 for every other character.
int HexDigitValue(char c);

// `base` raised to `exponent` in wrapping 32-bit arithmetic; 1 when the
// exponent is 0 or negative.
std::int32_t IntPower(std::int32_t base, std::int32_t exponent);

// The search's wait: it keeps the front end's events flowing (and with them
// the replies handed over by the receiving thread) until more than the given
// time has passed.

// Processes pending events, blocking at most `limit` for the next one. A
// front end installs it; without one the wait only sleeps.
using ProcessMessagesHook = std::function<void(std::chrono::milliseconds limit)>;
void SetProcessMessagesHook(ProcessMessagesHook hook);

// Returns when more than `durationMs` milliseconds have passed by the tick
// counter, measured as the absolute 32-bit difference so a wrap does no harm.
void WaitWithMessages(int durationMs);
