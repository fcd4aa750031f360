#pragma once

#include "ui/CustomHotButton.h"

// The window's push button: a rounded outer ring in the parent's shades, a
// one-pixel frame in `FrameColor`, a gradient face, and a two-pixel ring
// inside the face: orange while the mouse is over it, blended highlight while
// it has the focus. With HotTrack set the button is transparent, so its
// corners show the parent.
class THotButton : public TCustomHotButton {
    Q_OBJECT

public:
    explicit THotButton(QWidget* parent = nullptr);

    TColor FrameColor = cl3DDkShadow;

    void SetHotTrack(bool on) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintOuterRing(TCanvas& canvas, const TRect& r, bool enabled) const;
    void PaintFrame(TCanvas& canvas, const TRect& r, bool enabled) const;
    void PaintFace(TCanvas& canvas, const TRect& b, TLook look) const;
    void PaintRing(TCanvas& canvas, const TRect& b, TLook look) const;
    void PaintFocusBorder(TCanvas& canvas, const TRect& r) const;
};
