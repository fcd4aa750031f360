#include "ui/Shading.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Rounds to the nearest integer, halves to even.
int RoundEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

std::uint8_t Channel(double value) {
    return static_cast<std::uint8_t>(RoundEven(std::min(value, 1.0) * 255.0));
}

} // namespace

THSL SplitHSL(TColor color) {
    const TColor rgb = ColorToRGB(color);
    const double r = RedOf(rgb) / 255.0, g = GreenOf(rgb) / 255.0, b = BlueOf(rgb) / 255.0;
    const double max = std::max({r, g, b}), min = std::min({r, g, b});
    const double l = (max + min) / 2;
    double h = 0, s = 0;
    if (max != min) {
        const double d = max - min;
        s = l < 0.5 ? d / (max + min) : d / (2 - max - min);
        if (r == max)
            h = (g - b) / d;
        else if (g == max)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        h /= 6;
        if (h < 0)
            h += 1;
    }
    return {RoundEven(h * 240), RoundEven(s * 240), RoundEven(l * 240)};
}

TColor JoinHSL(int hue, int saturation, int luminance) {
    const double L = luminance / 240.0, S = saturation / 240.0;
    const double v = L < 0.5 ? L * (1 + S) : L + S - L * S;
    if (v <= 0)
        return clBlack;
    const double m = 2 * L - v;
    const double scaled = hue / 239.0 * 6;
    const double whole = std::floor(scaled);
    const double f = scaled - whole;
    const double t = v * ((v - m) / v) * f;
    const double a = m + t, b = v - t;
    // Hue 240 lands on a seventh sextant; it is the same hue as 0.
    const int sextant = static_cast<int>(whole) % 6;
    static constexpr int kOrder[6][3] = {{0, 1, 2}, {3, 0, 2}, {2, 0, 1},
                                         {2, 3, 0}, {1, 2, 0}, {0, 2, 3}};
    const double values[4] = {v, a, m, b};
    const int* order = kOrder[sextant];
    return RGB(Channel(values[order[0]]), Channel(values[order[1]]), Channel(values[order[2]]));
}

TColor DarkenColor(TColor color, int amount) {
    const THSL hsl = SplitHSL(color);
    return JoinHSL(hsl.Hue, hsl.Saturation, std::max(hsl.Luminance - amount, 0));
}

TColor LightenColor(TColor color, int amount) {
    const THSL hsl = SplitHSL(color);
    return JoinHSL(hsl.Hue, hsl.Saturation, std::min(hsl.Luminance + amount, 255));
}

TColor ShadeColor(TColor color, int amount) {
    if (amount < 0)
        return DarkenColor(color, -amount);
    if (amount > 0)
        return LightenColor(color, amount);
    return color;
}

TColor MixColors(TColor a, TColor b, int weight) {
    const float x = static_cast<float>(weight) / 255.0f;
    const TColor ca = ColorToRGB(a), cb = ColorToRGB(b);
    auto mix = [x](std::uint8_t p, std::uint8_t q) {
        return static_cast<std::uint8_t>(RoundEven(x * double(p) + (1 - double(x)) * q));
    };
    return RGB(mix(RedOf(ca), RedOf(cb)), mix(GreenOf(ca), GreenOf(cb)),
               mix(BlueOf(ca), BlueOf(cb)));
}

bool ColorsNear(TColor a, TColor b) {
    const THSL x = SplitHSL(a), y = SplitHSL(b);
    return std::abs(x.Hue - y.Hue) < 20 && std::abs(x.Luminance - y.Luminance) < 60;
}

bool FullColorDisplay() {
    static const bool full = [] {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen == nullptr || screen->depth() > 8;
    }();
    return full;
}
