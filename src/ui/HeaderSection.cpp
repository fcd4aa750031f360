#include "ui/HeaderSection.h"

#include <algorithm>

THeaderSection::THeaderSection(QString text, int width, TAlignment alignment)
    : Text(std::move(text)), Alignment(alignment) {
    SetWidth(width);
}

int THeaderSection::ClampWidth(int width) const {
    return std::max(std::min(width, maxWidth_), minWidth_);
}

void THeaderSection::SetMinWidth(int minWidth) {
    minWidth_ = std::max(minWidth, 0);
    SetWidth(width_);
}

void THeaderSection::SetMaxWidth(int maxWidth) {
    maxWidth_ = std::max(maxWidth, 0);
    SetWidth(width_);
}
