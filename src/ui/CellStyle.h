#pragma once

#include "platform/SystemColors.h"
#include "ui/Canvas.h"
#include "ui/Font.h"

enum class TGridLines { glNone, glHorizontal, glVertical, glBoth };

enum TColumnOption : unsigned { loPathEllipsis = 1, loEndEllipsis = 2, loEditControl = 4 };
using TColumnOptions = unsigned; // a set of TColumnOption bits

// How the rows are drawn. Anything but lbStandard lets an assigned
// OnDrawItem paint the cells in place of the list.
enum class TListBoxStyle {
    lbStandard,
    lbOwnerDrawFixed,
    lbOwnerDrawVariable,
    lbVirtual,
    lbVirtualOwnerDraw
};

// How the columned list box paints the cells of a row: selection and
// alternating colours, grid lines, the extra text flags of every cell, whether
// the row's background is filled, and who draws the cells.
struct TCellStyle {
    TColor SelectedColor = clHighlight;
    TColor SelectedFontColor = clHighlightText;
    TFontStyles SelectedFontStyle = 0;
    TGridLines GridLines = TGridLines::glNone;
    TColor GridHorzColor = clSilver;
    TColor GridVertColor = clSilver;
    TPenStyle GridHorzStyle = TPenStyle::psSolid;
    TPenStyle GridVertStyle = TPenStyle::psSolid;
    bool AlternateColors = false;
    TColor AltLineColor = clSilver;
    TColor AltFontColor = clWindowText;
    TColumnOptions ColumnOptions = 0;
    // True: the cells are drawn over whatever the row list painted beneath.
    bool Transparent = false;
    TListBoxStyle Style = TListBoxStyle::lbStandard;
};
