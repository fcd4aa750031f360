#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// The one-line countdown a search shows on a terminal while it listens,
// redrawn in place. With no terminal it shows nothing.
class Countdown {
public:
    // `terminal` may be nullptr. `what` leads the line ("searching from …").
    Countdown(std::FILE* terminal, std::string what);
    ~Countdown();
    Countdown(const Countdown&) = delete;
    Countdown& operator=(const Countdown&) = delete;

    // Shows the whole seconds left, rounded up; draws only when they change.
    void Show(std::chrono::milliseconds left);
    // Erases the line, so a reply or the summary can take its place.
    void Clear();

private:
    std::FILE* terminal_;
    std::string what_;
    long long shownSeconds_ = -1; // -1: nothing on the line
};
