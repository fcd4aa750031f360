#include "ui/Canvas.h"

#include "platform/CodePage.h"
#include "ui/TextBlock.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <array>
#include <climits>
#include <cstdlib>
#include <span>

namespace {

// On and off lengths of the pen styles, starting with "on".
constexpr std::array<int, 2> kDash = {18, 6};
constexpr std::array<int, 2> kDot = {3, 3};
constexpr std::array<int, 4> kDashDot = {9, 6, 3, 6};
constexpr std::array<int, 6> kDashDotDot = {9, 3, 3, 3, 3, 3};

std::span<const int> PatternOf(TPenStyle style) {
    switch (style) {
    case TPenStyle::psDash:
        return kDash;
    case TPenStyle::psDot:
        return kDot;
    case TPenStyle::psDashDot:
        return kDashDot;
    case TPenStyle::psDashDotDot:
        return kDashDotDot;
    default:
        return {};
    }
}

// num / den rounded half up, for den > 0 and any sign of num.
int RoundDiv(int num, int den) {
    const int twice = 2 * num + den;
    const int q = twice / (2 * den);
    return (twice % (2 * den) < 0) ? q - 1 : q;
}

} // namespace

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(RedOf(rgb), GreenOf(rgb), BlueOf(rgb));
}

TCanvas::TCanvas(QPainter& painter) : painter_(painter) {
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, false);
}

void TCanvas::MoveTo(int x, int y) {
    penX_ = x;
    penY_ = y;
}

bool TCanvas::PenDotOn(int step) const {
    const std::span<const int> pattern = PatternOf(Pen.Style);
    if (pattern.empty())
        return true;
    int period = 0;
    for (int length : pattern)
        period += length;
    int at = step % period;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (at < pattern[i])
            return i % 2 == 0;
        at -= pattern[i];
    }
    return false;
}

void TCanvas::LineTo(int x, int y) {
    const int x0 = penX_;
    const int y0 = penY_;
    MoveTo(x, y);
    const int dx = x - x0;
    const int dy = y - y0;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    if (Pen.Style == TPenStyle::psClear || steps == 0)
        return;
    if (Pen.Style == TPenStyle::psSolid && (dx == 0 || dy == 0)) {
        const bool horizontal = dy == 0;
        const int from = horizontal ? (dx > 0 ? x0 : x + 1) : (dy > 0 ? y0 : y + 1);
        PlotRun(horizontal ? from : x0, horizontal ? y0 : from, steps, horizontal);
        return;
    }
    for (int i = 0; i < steps; ++i)
        if (PenDotOn(i))
            Plot(x0 + RoundDiv(i * dx, steps), y0 + RoundDiv(i * dy, steps));
}

void TCanvas::PlotRun(int x, int y, int length, bool horizontal) {
    painter_.fillRect(horizontal ? QRect(x, y, length, 1) : QRect(x, y, 1, length),
                      ToQColor(Pen.Color));
}

void TCanvas::Plot(int x, int y) {
    painter_.fillRect(QRect(x, y, 1, 1), ToQColor(Pen.Color));
}

void TCanvas::FillRect(const TRect& rect) {
    if (!rect.IsEmpty())
        painter_.fillRect(rect.ToQRect(), ToQColor(Brush.Color));
}

void TCanvas::Rectangle(const TRect& rect) {
    if (rect.IsEmpty())
        return;
    const bool brush = Brush.Style != TBrushStyle::bsClear;
    if (Pen.Style == TPenStyle::psClear) {
        if (brush)
            FillRect({rect.Left, rect.Top, rect.Right - 1, rect.Bottom - 1});
        return;
    }
    if (rect.Width() <= 2 || rect.Height() <= 2) { // all outline, no inside
        if (Pen.Style == TPenStyle::psSolid) {
            painter_.fillRect(rect.ToQRect(), ToQColor(Pen.Color));
            return;
        }
    } else if (brush) {
        FillRect({rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1});
    }
    MoveTo(rect.Left, rect.Top);
    LineTo(rect.Right - 1, rect.Top);
    LineTo(rect.Right - 1, rect.Bottom - 1);
    LineTo(rect.Left, rect.Bottom - 1);
    LineTo(rect.Left, rect.Top);
}

void TCanvas::DrawFocusRect(const TRect& rect) {
    if (rect.IsEmpty())
        return;
    painter_.save();
    // White "difference" inverts each pixel exactly. Each dot is a filled
    // logical pixel rather than a pattern brush, whose pattern Qt does not
    // scale: at 200 % the dots would run together into a grey line.
    painter_.setCompositionMode(QPainter::CompositionMode_Difference);
    const auto dot = [&](int x, int y) {
        if ((x - rect.Left + y - rect.Top) % 2 == 0)
            painter_.fillRect(QRect(x, y, 1, 1), Qt::white);
    };
    for (int x = rect.Left; x < rect.Right; ++x) {
        dot(x, rect.Top);
        if (rect.Height() > 1)
            dot(x, rect.Bottom - 1);
    }
    for (int y = rect.Top + 1; y < rect.Bottom - 1; ++y) {
        dot(rect.Left, y);
        if (rect.Width() > 1)
            dot(rect.Right - 1, y);
    }
    painter_.restore();
}

int TCanvas::DrawText(std::string_view gbk, TRect& rect, unsigned flags) {
    const QFont font = Font.ToQFont();
    const int visibleHeight = (flags & DT_CALCRECT) ? INT_MAX : rect.Height();
    const TTextBlock block(QString::fromUtf8(GbkToUtf8(gbk)), flags, font, painter_.device(),
                           rect.Width(), visibleHeight);
    if (flags & DT_CALCRECT) {
        rect.Right = rect.Left + block.Width();
        rect.Bottom = rect.Top + block.Height();
        return block.Height();
    }
    if (rect.IsEmpty())
        return block.Height();
    painter_.save();
    painter_.setClipRect(rect.ToQRect(), Qt::IntersectClip);
    painter_.setFont(font);
    painter_.setPen(ToQColor(Font.Color));
    const QColor background = ToQColor(Brush.Color);
    block.Draw(painter_, rect, Brush.Style == TBrushStyle::bsSolid ? &background : nullptr);
    painter_.restore();
    return block.Height();
}

QSize TCanvas::TextExtent(std::string_view gbk) const {
    const TTextBlock block(QString::fromUtf8(GbkToUtf8(gbk)), DT_SINGLELINE | DT_NOPREFIX,
                           Font.ToQFont(), painter_.device(), INT_MAX, INT_MAX);
    return {block.Width(), block.Height()};
}

void TCanvas::Draw(int x, int y, const QImage& image) {
    painter_.drawImage(x, y, image);
}

void TCanvas::SetClip(const QRegion& region) {
    painter_.setClipRegion(region);
}

void TCanvas::ResetClip() {
    painter_.setClipping(false);
}
