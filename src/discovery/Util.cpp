#include "discovery/Util.h"

#include "platform/TickCount.h"

#include <cstdlib>
#include <thread>

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

namespace {

// Installed once by the front end at start-up, from the UI thread, which is
// also the only thread that waits.
ProcessMessagesHook processMessages;

int ElapsedSince(std::uint32_t start) {
    return std::abs(static_cast<std::int32_t>(GetTickCount() - start));
}

} // namespace

void SetProcessMessagesHook(ProcessMessagesHook hook) {
    processMessages = std::move(hook);
}

void WaitWithMessages(int durationMs) {
    const std::uint32_t start = GetTickCount();
    for (int elapsed = 0; elapsed <= durationMs; elapsed = ElapsedSince(start)) {
        // Wake one millisecond past the limit, when "more than" holds.
        const std::chrono::milliseconds left(durationMs - elapsed + 1);
        if (processMessages)
            processMessages(left);
        else
            std::this_thread::sleep_for(left);
    }
}
