#include "ui/StyledListBox.h"

TStyledListBox::TStyledListBox(QWidget* parent) : TListBox(parent) {}

void TStyledListBox::SetDrawHook(DrawHook hook) {
    hook_ = std::move(hook);
    viewport()->update();
}

void TStyledListBox::DrawItem(TCanvas& canvas, int index, const TRect& rect,
                              TOwnerDrawState state) {
    canvas.Brush = TBrush{Color()};
    const bool disabled = (state & odDisabled) != 0;
    const bool selectionShows = !disabled && (!HideSelection || hasFocus());
    const bool focusShows = !disabled && !HideFocus;
    if (Count() == 0)
        index = -1;
    if ((state & odSelected) && selectionShows) {
        canvas.Brush.Color = SelectedColor;
        canvas.Font.Color = SelectedFontColor;
        canvas.Font.Style = SelectedFontStyle;
    } else if (disabled) {
        canvas.Brush.Color = DisabledColor;
    }
    canvas.FillRect(rect);
    if (index >= 0 && hook_)
        hook_(canvas, index,
              {rect.Left + Margin, rect.Top, rect.Right - Margin, rect.Bottom - Margin}, state);
    if (HorzGridLine) {
        canvas.Pen = TPen{HorzGridColor, HorzGridStyle};
        canvas.MoveTo(0, rect.Bottom - 1);
        canvas.LineTo(rect.Right, rect.Bottom - 1);
    }
    if ((state & odFocused) && focusShows)
        DrawFocus(canvas, rect);
}

void TStyledListBox::DrawFocus(TCanvas& canvas, TRect rect) {
    if (rect.Height() == 0)
        rect.Bottom = rect.Top + ItemHeight();
    if (!BeveledFocus) {
        canvas.DrawFocusRect(rect);
        return;
    }
    canvas.Pen = TPen{BevelFocusShadowColor};
    canvas.MoveTo(rect.Left, rect.Bottom - 1);
    canvas.LineTo(rect.Left, rect.Top);
    canvas.LineTo(rect.Right, rect.Top);
    canvas.Pen = TPen{BevelFocusLightColor};
    canvas.MoveTo(rect.Right - 1, rect.Top + 1);
    canvas.LineTo(rect.Right - 1, rect.Bottom - 1);
    canvas.LineTo(rect.Left, rect.Bottom - 1);
}
