#pragma once

#include "platform/SystemColors.h"

// Colour shading shared by the window's widgets. Shades are computed in a
// hue-saturation-luminance model whose components are whole numbers on a
// 0..240 scale; system colours are resolved first and every result is an
// RGB value.

struct THSL {
    int Hue = 0;
    int Saturation = 0;
    int Luminance = 0;
    bool operator==(const THSL&) const = default;
};

THSL SplitHSL(TColor color);
// Luminances above 240 are allowed: they give channels capped at 255.
TColor JoinHSL(int hue, int saturation, int luminance);

TColor DarkenColor(TColor color, int amount);
TColor LightenColor(TColor color, int amount);
// Darkens by -amount when amount < 0, lightens when amount > 0, and returns
// the colour as it is for 0.
TColor ShadeColor(TColor color, int amount);
// Weight 255 gives `a`, 0 gives `b`.
TColor MixColors(TColor a, TColor b, int weight);
// Hues less than 20 and luminances less than 60 apart.
bool ColorsNear(TColor a, TColor b);

// More than 256 colours on the screen; decided once, at first use. Without
// it the buttons drop their gradients and rings.
bool FullColorDisplay();
// Themed drawing through the desktop's visual styles. This build has no
// themed path: the widgets always draw their classic look.
constexpr bool VisualStylesOn() {
    return false;
}
