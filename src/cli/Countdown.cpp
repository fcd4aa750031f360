#include "cli/Countdown.h"

#include "report/fatal/FatalFaultHandler.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <sys/ioctl.h>
#include <utility>

namespace {

// Carriage return, then "erase to end of line".
constexpr const char* kEraseLine = "\r\x1b[K";

// The countdowns alive. drawLock guards it, every countdown's state and every
// draw, so a stop from a reporting thread never lands inside a line being
// drawn by the searching thread.
std::mutex drawLock;
std::set<Countdown*> alive;

// The terminal's width; 80 when it does not tell.
std::size_t Columns(std::FILE* terminal) {
    winsize size{};
    if (ioctl(fileno(terminal), TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return 80;
    return size.ws_col;
}

} // namespace

std::string CountdownLine(const std::string& what, const std::string& brief, long long seconds,
                          std::size_t columns) {
    const std::string left = ", " + std::to_string(seconds) + " s left";
    const std::size_t room = columns > 1 ? columns - 1 : 0;
    if (what.size() + left.size() <= room)
        return what + left;
    if (!brief.empty() && brief.size() + left.size() <= room)
        return brief + left;
    return ((brief.empty() ? what : brief) + left).substr(0, room);
}

Countdown::Countdown(std::FILE* terminal, std::string what, std::string brief)
    : terminal_(terminal), what_(std::move(what)), brief_(std::move(brief)) {
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
    const std::string line = CountdownLine(what_, brief_, seconds, Columns(terminal_));
    std::fprintf(terminal_, "%s%s", kEraseLine, line.c_str());
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
