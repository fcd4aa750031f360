#include "ui/ColumnHeader.h"

#include "ui/Canvas.h"

#include <QSignalBlocker>

namespace {

Qt::Alignment ToQtAlignment(TAlignment alignment) {
    switch (alignment) {
    case TAlignment::taRightJustify:
        return Qt::AlignRight | Qt::AlignVCenter;
    case TAlignment::taCenter:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

TColumnHeader::TColumnHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setModel(&model_);
    setMinimumSectionSize(0);
    setMaximumSectionSize(10000);
    setStretchLastSection(false);
    setSectionsClickable(true);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setFocusPolicy(Qt::NoFocus);
    SetHeaderFont(TFont{});
    connect(this, &QHeaderView::sectionResized, this, &TColumnHeader::OnSectionResized);
    SetSections({THeaderSection{}});
}

void TColumnHeader::SetHeaderFont(const TFont& font) {
    QPalette colours = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::ButtonText, ToQColor(font.Color));
        colours.setColor(group, QPalette::WindowText, ToQColor(font.Color));
    }
    colours.setColor(QPalette::Disabled, QPalette::ButtonText, ToQColor(clGrayText));
    colours.setColor(QPalette::Disabled, QPalette::WindowText, ToQColor(clGrayText));
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Button, ToQColor(clBtnFace));
        colours.setColor(group, QPalette::Window, ToQColor(clBtnFace));
        colours.setColor(group, QPalette::Base, ToQColor(clBtnFace));
        colours.setColor(group, QPalette::Light, ToQColor(clBtnHighlight));
        colours.setColor(group, QPalette::Midlight, ToQColor(cl3DLight));
        colours.setColor(group, QPalette::Dark, ToQColor(clBtnShadow));
        colours.setColor(group, QPalette::Shadow, ToQColor(cl3DDkShadow));
    }
    setPalette(colours);
    QFont qfont = font.ToQFont();
    // Captions are read, not measured against pixels: let them be smooth.
    qfont.setStyleStrategy(QFont::PreferDefault);
    setFont(qfont);
}

void TColumnHeader::SetSections(std::vector<THeaderSection> sections) {
    const QSignalBlocker quiet(this);
    sections_ = std::move(sections);
    model_.setColumnCount(static_cast<int>(sections_.size()));
    for (int i = 0; i < static_cast<int>(sections_.size()); ++i)
        ShowSection(i);
}

void TColumnHeader::ShowSection(int index) {
    const THeaderSection& section = sections_[static_cast<size_t>(index)];
    model_.setHeaderData(index, Qt::Horizontal, section.Text, Qt::DisplayRole);
    model_.setHeaderData(index, Qt::Horizontal, static_cast<int>(ToQtAlignment(section.Alignment)),
                         Qt::TextAlignmentRole);
    resizeSection(index, section.Width());
}

void TColumnHeader::SetSectionWidth(int index, int width) {
    if (index >= 0 && index < static_cast<int>(sections_.size()))
        resizeSection(index, width);
}

void TColumnHeader::OnSectionResized(int index, int /*oldWidth*/, int newWidth) {
    if (index < 0 || index >= static_cast<int>(sections_.size()))
        return;
    THeaderSection& section = sections_[static_cast<size_t>(index)];
    const int clamped = section.ClampWidth(newWidth);
    if (clamped != newWidth) { // out of bounds: the clamped width comes back here
        resizeSection(index, clamped);
        return;
    }
    if (section.Width() == newWidth)
        return;
    section.SetWidth(newWidth);
    emit SectionWidthChanged(index, newWidth);
}
