#include "ui/HotButton.h"

#include "ui/BorderPanel.h"
#include "ui/Gradient.h"
#include "ui/Shading.h"

#include <QPainter>
#include <QRegion>

namespace {

// Complement of the hue of `color` at full saturation and luminance 180.
TColor ComplementOf(TColor color) {
    const THSL hsl = SplitHSL(color);
    return JoinHSL(hsl.Hue < 120 ? hsl.Hue + 120 : hsl.Hue - 120, 240, 180);
}

void VerticalLine(TCanvas& canvas, int x, int top, int bottom) {
    canvas.MoveTo(x, top);
    canvas.LineTo(x, bottom);
}

void HorizontalLine(TCanvas& canvas, int y, int left, int right) {
    canvas.MoveTo(left, y);
    canvas.LineTo(right, y);
}

void Pixel(TCanvas& canvas, int x, int y, TColor color) {
    canvas.Brush.Color = color;
    canvas.FillRect({x, y, x + 1, y + 1});
}

} // namespace

THotButton::THotButton(QWidget* parent) : TCustomHotButton(parent) {
    resize(75, 25);
}

void THotButton::SetHotTrack(bool on) {
    TCustomHotButton::SetHotTrack(on);
    Transparent = on;
}

void THotButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TCanvas canvas(painter);
    const TRect r{0, 0, width(), height()};
    const TLook look = Look();
    if (!Transparent) {
        canvas.Brush.Color = Color;
        canvas.FillRect(r);
    }
    PaintOuterRing(canvas, r, isEnabled());
    PaintFrame(canvas, {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}, isEnabled());
    const TRect b{r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2};
    PaintFace(canvas, b, look);
    if (FullColorDisplay())
        PaintRing(canvas, b, look);
    PaintCaption(canvas, r);
    if (hasFocus() && ShowFocusRect)
        PaintFocusBorder(canvas, {r.Left + 3, r.Top + 3, r.Right - 3, r.Bottom - 3});
}

// Dark on the top and left, light on the bottom and right; the corners are
// cut by one pixel diagonal each, which rounds the button.
void THotButton::PaintOuterRing(TCanvas& canvas, const TRect& r, bool enabled) const {
    const TColor p = ParentColorOf(*this);
    const TColor dark = enabled ? DarkenColor(p, 20) : p;
    const TColor light = enabled ? LightenColor(p, 20) : p;
    canvas.Pen.Color = dark;
    VerticalLine(canvas, r.Left, r.Top + 2, r.Bottom - 2);
    HorizontalLine(canvas, r.Top, r.Left + 2, r.Right - 2);
    canvas.Pen.Color = light;
    VerticalLine(canvas, r.Right - 1, r.Top + 2, r.Bottom - 2);
    HorizontalLine(canvas, r.Bottom - 1, r.Left + 2, r.Right - 2);
    Pixel(canvas, r.Left + 1, r.Top + 1, dark);
    Pixel(canvas, r.Right - 2, r.Top + 1, dark);
    Pixel(canvas, r.Right - 2, r.Bottom - 2, light);
    Pixel(canvas, r.Left + 1, r.Bottom - 2, dark);
}

void THotButton::PaintFrame(TCanvas& canvas, const TRect& f, bool enabled) const {
    canvas.Pen.Color = enabled              ? FrameColor
                       : Color == clBtnFace ? LightenColor(clBtnShadow, 30)
                                            : DarkenColor(Color, 80);
    VerticalLine(canvas, f.Left, f.Top + 1, f.Bottom - 1);
    HorizontalLine(canvas, f.Top, f.Left + 1, f.Right - 1);
    VerticalLine(canvas, f.Right - 1, f.Top + 1, f.Bottom - 1);
    HorizontalLine(canvas, f.Bottom - 1, f.Left + 1, f.Right - 1);
}

void THotButton::PaintFace(TCanvas& canvas, const TRect& b, TLook look) const {
    if (look == TLook::Disabled || look == TLook::Pressed) {
        canvas.Brush.Color = look == TLook::Disabled ? Color : DarkenColor(Color, 10);
        canvas.FillRect(b);
        return;
    }
    canvas.Pen.Color = DarkenColor(Color, 20);
    HorizontalLine(canvas, b.Bottom - 2, b.Left, b.Right);
    canvas.Pen.Color = DarkenColor(Color, 30);
    HorizontalLine(canvas, b.Bottom - 1, b.Left, b.Right);
    const TRect upper{b.Left, b.Top, b.Right, b.Bottom - 2};
    if (FullColorDisplay()) {
        FillVerticalGradient(canvas, upper, DarkenColor(Color, 10), LightenColor(Color, 30));
    } else {
        canvas.Brush.Color = Color;
        canvas.FillRect(upper);
    }
}

void THotButton::PaintRing(TCanvas& canvas, const TRect& b, TLook look) const {
    TColor bottom = 0, top = 0;
    if (look == TLook::Hot) {
        if (HotTrackColorType == THotTrackColorType::htctActual) {
            bottom = HotTrackColor;
            top = MixColors(clWhite, HotTrackColor, 190);
        } else {
            top = ComplementOf(HotTrackColor);
            bottom = DarkenColor(top, 30);
        }
    } else if (look == TLook::Focused) {
        const TColor h = ColorsNear(HighlightColor, clBtnFace) ? DarkenColor(HighlightColor, 30)
                                                               : HighlightColor;
        const TColor l = LightenColor(Color, 30);
        bottom = MixColors(h, l, 160);
        top = MixColors(h, l, 60);
    } else {
        return;
    }
    const QRegion ring =
        QRegion(b.ToQRect())
            .subtracted(QRegion(TRect{b.Left + 2, b.Top + 2, b.Right - 2, b.Bottom - 2}.ToQRect()));
    canvas.SetClip(ring);
    FillVerticalGradient(canvas, b, bottom, top);
    canvas.ResetClip();
}

// Every second pixel of each edge, from the second one on, in black.
void THotButton::PaintFocusBorder(TCanvas& canvas, const TRect& r) const {
    canvas.Brush.Color = clBlack;
    for (int x = r.Left + 1; x < r.Right; x += 2) {
        canvas.FillRect({x, r.Top, x + 1, r.Top + 1});
        canvas.FillRect({x, r.Bottom - 1, x + 1, r.Bottom});
    }
    for (int y = r.Top + 1; y < r.Bottom; y += 2) {
        canvas.FillRect({r.Left, y, r.Left + 1, y + 1});
        canvas.FillRect({r.Right - 1, y, r.Right, y + 1});
    }
}
