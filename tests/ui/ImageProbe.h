#pragma once

#include "platform/SystemColors.h"

#include <QImage>
#include <QRect>

// Pixel questions the widget tests ask of a grabbed image.

inline QRgb Rgb(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return qRgb(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

// The bounding box of the pixels inside `area` that differ from `background`.
inline QRect InkBox(const QImage& image, const QRect& area, QRgb background) {
    QRect box;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

// True when every pixel of `area` is `colour`.
inline bool AllOf(const QImage& image, const QRect& area, QRgb colour) {
    return InkBox(image, area, colour).isNull();
}

// The pixels of `area` that are neither `a` nor `b`.
inline int OtherThan(const QImage& image, const QRect& area, QRgb a, QRgb b) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixel(x, y) != a && image.pixel(x, y) != b;
    return count;
}
