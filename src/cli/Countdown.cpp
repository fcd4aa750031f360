#include "cli/Countdown.h"

#include <algorithm>
#include <utility>

namespace {

// Carriage return, then "erase to end of line".
constexpr const char* kEraseLine = "\r\x1b[K";

} // namespace

Countdown::Countdown(std::FILE* terminal, std::string what)
    : terminal_(terminal), what_(std::move(what)) {}

Countdown::~Countdown() {
    Clear();
}

void Countdown::Show(std::chrono::milliseconds left) {
    const long long seconds = (std::max<long long>(left.count(), 0) + 999) / 1000;
    if (terminal_ == nullptr || seconds == shownSeconds_)
        return;
    std::fprintf(terminal_, "%s%s, %lld s left", kEraseLine, what_.c_str(), seconds);
    std::fflush(terminal_);
    shownSeconds_ = seconds;
}

void Countdown::Clear() {
    if (terminal_ == nullptr || shownSeconds_ < 0)
        return;
    std::fputs(kEraseLine, terminal_);
    std::fflush(terminal_);
    shownSeconds_ = -1;
}
