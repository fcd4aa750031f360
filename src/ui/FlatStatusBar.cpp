#include "ui/FlatStatusBar.h"

#include "platform/CodePage.h"
#include "ui/WidgetAccessibility.h"

#include <QMouseEvent>
#include <QWindow>

TFlatStatusBar::TFlatStatusBar(QWidget* parent) : TBorderPanel(parent) {
    InstallWidgetAccessibility();
    BorderOuter = TFrameStyleEx::fsNone;
    resize(width(), 19);
    setMouseTracking(true);
}

void TFlatStatusBar::SetSimpleCaption(const QString& text) {
    if (text == simpleCaption_)
        return;
    simpleCaption_ = text;
    setAccessibleName(text);
    update();
}

void TFlatStatusBar::SetBorders(TFrameStyleEx outer, TFrameStyleEx inner, TSides sides) {
    BorderOuter = outer;
    BorderInner = inner;
    BorderSides = sides;
    update();
}

// The client rectangle for the simple text loses a pixel at the left, top and
// right; the text then sits inside it, one row above its bottom, inset by 1.
TRect TFlatStatusBar::SimpleTextRect() const {
    TRect r{0, 0, width(), height()};
    if (SimpleStatus)
        r = {1, 1, width() - 1, height()};
    return {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 2};
}

// Fonts are laid out by their em height: the faces the window names have
// cells exactly that tall, while the substitutes add leading.
QPoint TFlatStatusBar::SimpleTextOrigin() const {
    const TRect r = SimpleTextRect();
    return {r.Left + 2, r.Top + (r.Height() - font().pixelSize()) / 2};
}

bool TFlatStatusBar::WindowSizeable() const {
    const QWidget* owner = window();
    return owner != this && !owner->isMaximized() && !owner->isFullScreen() &&
           owner->minimumSize() != owner->maximumSize();
}

void TFlatStatusBar::Paint(TCanvas& canvas) {
    PaintBorders(canvas);
    if (!simpleCaption_.isEmpty()) {
        const TRect r = SimpleTextRect();
        const QPoint origin = SimpleTextOrigin();
        canvas.SetClip(QRegion(r.ToQRect()));
        canvas.Font.Name = font().family();
        canvas.Font.Height = font().pixelSize();
        canvas.Brush.Style = TBrushStyle::bsClear;
        TRect text{origin.x(), origin.y(), r.Right, r.Bottom + font().pixelSize()};
        canvas.DrawText(Utf8ToGbk(simpleCaption_.toStdString()), text,
                        DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
        canvas.Brush.Style = TBrushStyle::bsSolid;
        canvas.ResetClip();
    }
    gripUsable_ = WindowSizeable();
    if (ShowSizeGrip && gripUsable_)
        PaintGrip(canvas);
}

// Six 2 x 2 squares in the highlight colour, and the same six one pixel up and
// left in the shadow colour.
void TFlatStatusBar::PaintGrip(TCanvas& canvas) {
    static constexpr int kSquares[6][2] = {{4, 12}, {4, 8}, {4, 4}, {8, 8}, {8, 4}, {12, 4}};
    const int x = width() - 2, y = height() - 1;
    for (int shift = 0; shift < 2; ++shift) {
        const TColor color = shift == 0 ? clBtnHighlight : clBtnShadow;
        canvas.Pen.Color = canvas.Brush.Color = color;
        for (const auto& s : kSquares)
            canvas.Rectangle(
                {x - s[0] - shift, y - s[1] - shift, x - s[0] + 2 - shift, y - s[1] + 2 - shift});
    }
}

bool TFlatStatusBar::OverGrip(const QPoint& point) const {
    const TRect g = GripRect();
    return ShowSizeGrip && gripUsable_ && point.x() >= g.Left && point.x() < g.Right &&
           point.y() >= g.Top && point.y() < g.Bottom;
}

void TFlatStatusBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        const QPoint moved = event->globalPosition().toPoint() - dragStart_;
        window()->resize(sizeAtStart_ + QSize(moved.x(), moved.y()));
        return;
    }
    if (OverGrip(event->position().toPoint()))
        setCursor(Qt::SizeFDiagCursor);
    else
        unsetCursor();
    TBorderPanel::mouseMoveEvent(event);
}

// The window system sizes the window from its bottom-right corner; where it
// cannot, the bar follows the drag itself.
void TFlatStatusBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !OverGrip(event->position().toPoint())) {
        TBorderPanel::mousePressEvent(event);
        return;
    }
    QWindow* handle = window()->windowHandle();
    if (handle != nullptr && handle->startSystemResize(Qt::BottomEdge | Qt::RightEdge))
        return;
    dragging_ = true;
    dragStart_ = event->globalPosition().toPoint();
    sizeAtStart_ = window()->size();
}

void TFlatStatusBar::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    TBorderPanel::mouseReleaseEvent(event);
}
