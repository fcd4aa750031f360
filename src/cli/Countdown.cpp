#include "cli/Countdown.h"

#include "report/FatalFaultHandler.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <utility>

namespace {

// Carriage return, then "erase to end of line".
constexpr const char* kEraseLine = "\r\x1b[K";

// The countdowns alive. drawLock guards it, every countdown's state and every
// draw, so a stop from a reporting thread never lands inside a line being
// drawn by the searching thread.
std::mutex drawLock;
std::set<Countdown*> alive;

} // namespace

Countdown::Countdown(std::FILE* terminal, std::string what)
    : terminal_(terminal), what_(std::move(what)) {
    const std::lock_guard lock(drawLock);
    alive.insert(this);
}

Countdown::~Countdown() {
    const std::lock_guard lock(drawLock);
    ClearLocked();
    alive.erase(this);
}

void Countdown::Show(std::chrono::milliseconds left) {
    const long long seconds = (std::max<long long>(left.count(), 0) + 999) / 1000;
    const std::lock_guard lock(drawLock);
    if (terminal_ == nullptr || seconds == shownSeconds_ || stopped_ || FatalFaultInProgress())
        return;
    std::fprintf(terminal_, "%s%s, %lld s left", kEraseLine, what_.c_str(), seconds);
    std::fflush(terminal_);
    shownSeconds_ = seconds;
}

void Countdown::Clear() {
    const std::lock_guard lock(drawLock);
    ClearLocked();
}

void Countdown::ClearLocked() {
    if (terminal_ == nullptr || shownSeconds_ < 0)
        return;
    std::fputs(kEraseLine, terminal_);
    std::fflush(terminal_);
    shownSeconds_ = -1;
}

void StopCountdowns() {
    const std::lock_guard lock(drawLock);
    for (Countdown* countdown : alive) {
        countdown->ClearLocked();
        countdown->stopped_ = true;
    }
}
