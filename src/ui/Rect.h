#pragma once

#include <QRect>

// A half-open rectangle, [Left, Right) x [Top, Bottom), as the drawing code
// states its geometry. Right <= Left or Bottom <= Top covers no pixel.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const TRect&) const = default;

    QRect ToQRect() const { return IsEmpty() ? QRect() : QRect(Left, Top, Width(), Height()); }
};
