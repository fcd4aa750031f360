#pragma once

#include <chrono>
#include <cstdio>
#include <string>

// The one-line countdown a search shows on a terminal while it listens,
// redrawn in place. With no terminal it shows nothing. Drawn by the thread
// that runs the search; StopCountdowns may come from any thread.
class Countdown {
public:
    // `terminal` may be nullptr. `what` leads the line ("searching from …");
    // `brief` takes its place when the line would not fit the terminal's width.
    Countdown(std::FILE* terminal, std::string what, std::string brief = {});
    ~Countdown();
    Countdown(const Countdown&) = delete;
    Countdown& operator=(const Countdown&) = delete;

    // Shows the whole seconds left, rounded up; draws only when they change,
    // and never once the countdowns are stopped.
    void Show(std::chrono::milliseconds left);
    // Erases the line, so a reply or the summary can take its place.
    void Clear();

private:
    friend void StopCountdowns();
    void ClearLocked();

    std::FILE* terminal_;
    std::string what_;
    std::string brief_;
    long long shownSeconds_ = -1; // -1: nothing on the line
    bool stopped_ = false;        // by StopCountdowns: draws nothing more
};

// The countdown's line for `seconds` left on a terminal `columns` wide: with
// `what`, else with `brief`, else cut, so that it never reaches the last
// column (erasing the line clears one screen row only, and a line that wraps
// would leave its head behind).
std::string CountdownLine(const std::string& what, const std::string& brief, long long seconds,
                          std::size_t columns);

// Erases the line of every countdown alive and keeps them from drawing again,
// so that a crash report or an error written to the terminal is not drawn over.
void StopCountdowns();
