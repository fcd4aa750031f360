#pragma once

#include <cstdint>

// A colour is a signed 32-bit value: an RGB value (red in the low byte, green
// in the second, blue in the third, top byte 0) or a system colour, 0xFF000000
// plus the colour's index. System colours resolve through one fixed table so
// the look never depends on the desktop theme.
using TColor = std::int32_t;

constexpr TColor RGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<TColor>(red | (green << 8) | (blue << 16));
}

constexpr TColor SystemColor(int index) {
    return static_cast<TColor>(0xFF000000u | static_cast<std::uint32_t>(index));
}

constexpr bool IsSystemColor(TColor color) {
    return (static_cast<std::uint32_t>(color) & 0xFF000000u) == 0xFF000000u;
}

// The system colours by index.
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// Fixed colours.
constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clSilver = RGB(192, 192, 192);
constexpr TColor clGray = RGB(128, 128, 128);
constexpr TColor clNavy = RGB(0, 0, 128);

// The RGB value of a colour: system colours through the table (an index the
// table does not hold gives black), RGB values as they are. Whatever stands in
// the top byte of a value that is not a system colour is dropped.
TColor ColorToRGB(TColor color);

constexpr std::uint8_t RedOf(TColor rgb) {
    return static_cast<std::uint8_t>(rgb & 0xFF);
}
constexpr std::uint8_t GreenOf(TColor rgb) {
    return static_cast<std::uint8_t>((rgb >> 8) & 0xFF);
}
constexpr std::uint8_t BlueOf(TColor rgb) {
    return static_cast<std::uint8_t>((rgb >> 16) & 0xFF);
}
