#include "ui/Font.h"

QFont TFont::ToQFont() const {
    QFont font(Name);
    font.setPixelSize(Height > 0 ? Height : 1);
    font.setBold((Style & fsBold) != 0);
    font.setItalic((Style & fsItalic) != 0);
    font.setUnderline((Style & fsUnderline) != 0);
    font.setStrikeOut((Style & fsStrikeOut) != 0);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}
