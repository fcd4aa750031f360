#pragma once

#include "platform/SystemColors.h"

#include <QFont>
#include <QString>

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned; // a set of TFontStyle bits

// A font as the widgets describe it: face name, character height in pixels
// (the em square, what a negative height means on the original platform),
// style and colour. Faces the machine lacks are substituted by fontconfig.
struct TFont {
    QString Name = QStringLiteral("MS Sans Serif");
    int Height = 13;
    TFontStyles Style = 0;
    TColor Color = clWindowText;

    bool operator==(const TFont&) const = default;

    // Text is drawn without antialiasing, like the original bitmap fonts, so
    // every text pixel has exactly the font's colour.
    QFont ToQFont() const;
};
