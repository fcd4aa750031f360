#pragma once

#include <array>
#include <cstdint>
#include <string>

// One device's reply, as the search records it. Only IP, Port and Info are
// ever written; the two fixed fields stay zero.
struct TDEVICE_INFO1 {
    std::array<std::uint8_t, 6> Reserved{};
    std::string IP;   // the sender's dotted-quad address
    std::string Port; // the sender's port, in decimal
    std::array<char, 21> Fixed{};
    std::string Info; // the payload, byte for byte (code page 936 text)
};

// The replies of one search: room for 1000, each recorded once in arrival
// order. A reply beyond the 1000th is dropped, so the table is never written
// past its end. Touched by the UI thread only.
class TReplyTable {
public:
    static constexpr int Capacity = 1000;
    // Height of one list row for each line of the tallest reply.
    static constexpr int LineHeight = 17;

    // Empties every record and the counters, as a new search starts.
    void Reset();
    // Records one reply in the next free record; nullptr when the table is full.
    const TDEVICE_INFO1* Record(const std::string& ip, std::uint16_t port, const std::string& info);

    int NextIndex() const { return nextIndex_; }
    int MostLineFeeds() const { return mostLineFeeds_; }
    // (most line feeds + 1) × 17: every row is as tall as the tallest reply.
    int RowHeight() const { return (mostLineFeeds_ + 1) * LineHeight; }
    const TDEVICE_INFO1& operator[](int index) const { return records_.at(index); }

private:
    std::array<TDEVICE_INFO1, Capacity> records_{};
    int nextIndex_ = 0;
    int mostLineFeeds_ = 0;
};

// The device list row of a reply: ";" + IP + ";;;" + Info + ";", which puts
// the address in the second column and the reply in the fifth.
std::string RowText(const TDEVICE_INFO1& record);

// The number of line-feed bytes (10) in a text.
int CountLineFeeds(const std::string& text);
