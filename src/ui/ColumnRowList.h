#pragma once

#include "ui/StyledListBox.h"

// The row list of the columned list box: a styled list box whose draw hook
// the columned list box fills with its cell layer.
class TColumnRowList : public TStyledListBox {
    Q_OBJECT

public:
    using TStyledListBox::TStyledListBox;
};
