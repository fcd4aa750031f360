#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, from a monotonic clock, cut to 32
// bits: it wraps after about 49.7 days, as callers expect of a tick count.
std::uint32_t GetTickCount();
