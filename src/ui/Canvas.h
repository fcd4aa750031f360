#pragma once

#include "platform/SystemColors.h"
#include "ui/Font.h"
#include "ui/Rect.h"

#include <QColor>
#include <QSize>
#include <string_view>

class QImage;
class QPainter;
class QRegion;

// The Qt colour of a colour value, system colours resolved.
QColor ToQColor(TColor color);

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };

// A one-pixel cosmetic pen.
struct TPen {
    TColor Color = clBlack;
    TPenStyle Style = TPenStyle::psSolid;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

// DrawText flags, with the original platform's values.
constexpr unsigned DT_LEFT = 0x0;
constexpr unsigned DT_CENTER = 0x1;
constexpr unsigned DT_RIGHT = 0x2;
constexpr unsigned DT_VCENTER = 0x4;
constexpr unsigned DT_WORDBREAK = 0x10;
constexpr unsigned DT_SINGLELINE = 0x20;
constexpr unsigned DT_EXPANDTABS = 0x40;
constexpr unsigned DT_CALCRECT = 0x400;
constexpr unsigned DT_NOPREFIX = 0x800;
constexpr unsigned DT_EDITCONTROL = 0x2000;
constexpr unsigned DT_PATH_ELLIPSIS = 0x4000;
constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// The drawing surface of the custom widgets, with the original platform's
// pixel rules: lines leave out their end point, rectangles are half-open,
// nothing is antialiased. Pen, brush and font are read at each call.
class TCanvas {
public:
    explicit TCanvas(QPainter& painter);

    TPen Pen;
    TBrush Brush;
    TFont Font;

    void MoveTo(int x, int y);
    // A line from the pen position up to, not including, (x, y); the pen
    // position becomes (x, y).
    void LineTo(int x, int y);
    // Fills the half-open rectangle with the brush, whatever its style.
    void FillRect(const TRect& rect);
    // Outline in the pen on the rectangle's outermost pixels, inside filled
    // with the brush. With a clear pen the fill covers [Left, Right - 1) x
    // [Top, Bottom - 1).
    void Rectangle(const TRect& rect);
    // A dotted rectangle along the inside of `rect`: every second pixel,
    // starting at the top-left corner, is inverted. Drawing it twice restores
    // the pixels.
    void DrawFocusRect(const TRect& rect);
    // Draws `gbk` (code page 936 bytes) into `rect` in the font's colour,
    // clipped to `rect`; with a solid brush each line's extent is first filled
    // with it. Returns the text's height. With DT_CALCRECT nothing is drawn and
    // `rect` gets the text's width and height instead.
    int DrawText(std::string_view gbk, TRect& rect, unsigned flags);
    // Width and height of one line of `gbk` in the font.
    QSize TextExtent(std::string_view gbk) const;
    // Copies `image` with its top-left corner at (x, y).
    void Draw(int x, int y, const QImage& image);
    // Later drawing touches only `region`, until ResetClip.
    void SetClip(const QRegion& region);
    void ResetClip();

private:
    void PlotRun(int x, int y, int length, bool horizontal);
    void Plot(int x, int y);
    bool PenDotOn(int step) const;

    QPainter& painter_;
    int penX_ = 0;
    int penY_ = 0;
};
