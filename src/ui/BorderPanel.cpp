#include "ui/BorderPanel.h"

#include "ui/Shading.h"

#include <QPainter>

TBorderPanel::TBorderPanel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TColor TBorderPanel::FlatFrameColor() const {
    return ShadeColor(FlatColor, FlatColorAdjustment);
}

void TBorderPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TCanvas canvas(painter);
    Paint(canvas);
}

void TBorderPanel::Paint(TCanvas& canvas) {
    PaintBorders(canvas);
}

// One-pixel lines on the chosen sides along the edge of `r`.
void TBorderPanel::Ring(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight) {
    canvas.Brush.Color = topLeft;
    if (BorderSides & sdLeft)
        canvas.FillRect({r.Left, r.Top, r.Left + 1, r.Bottom});
    if (BorderSides & sdTop)
        canvas.FillRect({r.Left, r.Top, r.Right, r.Top + 1});
    canvas.Brush.Color = bottomRight;
    if (BorderSides & sdRight)
        canvas.FillRect({r.Right - 1, r.Top, r.Right, r.Bottom});
    if (BorderSides & sdBottom)
        canvas.FillRect({r.Left, r.Bottom - 1, r.Right, r.Bottom});
}

// Draws one frame style along the inside of `r`; returns what it leaves.
TRect TBorderPanel::PaintFrame(TCanvas& canvas, TRect r, TFrameStyleEx style) {
    int rings = 0;
    switch (style) {
    case TFrameStyleEx::fsNone:
        return r;
    case TFrameStyleEx::fsFlat:
        Ring(canvas, r, FlatFrameColor(), FlatFrameColor());
        rings = 1;
        break;
    case TFrameStyleEx::fsFlatBold:
        Ring(canvas, r, FlatFrameColor(), FlatFrameColor());
        Ring(canvas, {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}, FlatFrameColor(),
             FlatFrameColor());
        rings = 2;
        break;
    case TFrameStyleEx::fsRaised:
        Ring(canvas, r, BorderHighlight, BorderShadow);
        rings = 1;
        break;
    case TFrameStyleEx::fsLowered:
        Ring(canvas, r, BorderShadow, BorderHighlight);
        rings = 1;
        break;
    }
    return {r.Left + ((BorderSides & sdLeft) ? rings : 0),
            r.Top + ((BorderSides & sdTop) ? rings : 0),
            r.Right - ((BorderSides & sdRight) ? rings : 0),
            r.Bottom - ((BorderSides & sdBottom) ? rings : 0)};
}

TRect TBorderPanel::PaintBorders(TCanvas& canvas) {
    TRect r = PaintFrame(canvas, {0, 0, width(), height()}, BorderOuter);
    if (BorderWidth > 0) {
        canvas.Brush.Color = BorderColor;
        for (int i = 0; i < BorderWidth; ++i) {
            Ring(canvas, r, BorderColor, BorderColor);
            r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
        }
    }
    r = PaintFrame(canvas, r, BorderInner);
    canvas.Brush.Color = Color;
    canvas.FillRect(r);
    return r;
}

TColor ParentColorOf(const QWidget& widget) {
    const QWidget* parent = widget.parentWidget();
    if (parent == nullptr)
        return clBtnFace;
    if (const auto* panel = qobject_cast<const TBorderPanel*>(parent))
        return panel->Color;
    const QColor c = parent->palette().color(parent->backgroundRole());
    return RGB(static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
               static_cast<std::uint8_t>(c.blue()));
}
