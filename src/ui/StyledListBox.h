#pragma once

#include "ui/ListBox.h"

#include <functional>

// An owner-drawn list box that paints the row layer of every row: the row's
// fill in the list, selection or disabled colour, the inner rectangle handed
// to a draw hook, an optional line under the row, and the focus mark.
class TStyledListBox : public TListBox {
    Q_OBJECT

public:
    // Paints one row's contents into the inner rectangle.
    using DrawHook =
        std::function<void(TCanvas& canvas, int index, const TRect& inner, TOwnerDrawState state)>;

    explicit TStyledListBox(QWidget* parent = nullptr);

    void SetDrawHook(DrawHook hook);

    // Row layer settings; a change shows at the next paint.
    TColor SelectedColor = clHighlight;
    TColor SelectedFontColor = clHighlightText;
    TFontStyles SelectedFontStyle = 0;
    TColor DisabledColor = clWindow;
    bool HideSelection = false;
    bool HideFocus = false;
    int Margin = 1;
    bool BeveledFocus = false;
    TColor BevelFocusShadowColor = clGray;
    TColor BevelFocusLightColor = clWhite;
    bool HorzGridLine = false;
    TColor HorzGridColor = clSilver;
    TPenStyle HorzGridStyle = TPenStyle::psSolid;

protected:
    void DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) override;

private:
    void DrawFocus(TCanvas& canvas, TRect rect);

    DrawHook hook_;
};
