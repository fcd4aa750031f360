#pragma once

#include "platform/SystemColors.h"
#include "ui/Canvas.h"
#include "ui/Rect.h"

#include <QWidget>

enum class TFrameStyleEx { fsNone, fsFlat, fsFlatBold, fsRaised, fsLowered };
enum TSide : unsigned { sdLeft = 1, sdTop = 2, sdRight = 4, sdBottom = 8 };
using TSides = unsigned; // a set of TSide bits
constexpr TSides AllSides = sdLeft | sdTop | sdRight | sdBottom;
enum class TVisualStyle { vsClassic, vsWinXP, vsGradient };

// A panel that paints its own borders: an outer and an inner frame style on
// the chosen sides with a gap of `BorderWidth` between them, the inside in
// `Color`. Base of the status line and the group box. UI thread only.
class TBorderPanel : public QWidget {
    Q_OBJECT

public:
    explicit TBorderPanel(QWidget* parent = nullptr);

    // Settings; a change shows at the next paint.
    TFrameStyleEx BorderOuter = TFrameStyleEx::fsRaised;
    TFrameStyleEx BorderInner = TFrameStyleEx::fsNone;
    TSides BorderSides = AllSides;
    int BorderWidth = 0;
    TColor BorderColor = clBtnFace;
    TColor BorderHighlight = clBtnHighlight;
    TColor BorderShadow = clBtnShadow;
    TColor FlatColor = clBtnShadow;
    int FlatColorAdjustment = 30;
    TVisualStyle VisualStyle = TVisualStyle::vsWinXP;
    TColor Color = clBtnFace;

    // The flat frame colour: FlatColor shaded by FlatColorAdjustment.
    TColor FlatFrameColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Paints the whole panel; the default is the borders and the inside.
    virtual void Paint(TCanvas& canvas);
    // Draws the frames and fills the inside; returns the inside.
    TRect PaintBorders(TCanvas& canvas);

private:
    TRect PaintFrame(TCanvas& canvas, TRect r, TFrameStyleEx style);
    void Ring(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight);
};

// The colour a widget's parent paints behind it: a bordered panel's `Color`,
// otherwise the parent's background; button face without a parent.
TColor ParentColorOf(const QWidget& widget);
