#pragma once

#include "ui/Font.h"
#include "ui/HeaderSection.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <vector>

// The header bar: the toolkit's header control showing the sections, in the
// system colours. Users drag dividers with the contents following live; every
// width change, kept within the section's bounds, is reported once through
// SectionWidthChanged.
class TColumnHeader : public QHeaderView {
    Q_OBJECT

public:
    explicit TColumnHeader(QWidget* parent = nullptr);

    const std::vector<THeaderSection>& Sections() const { return sections_; }
    void SetSections(std::vector<THeaderSection> sections);
    // Width of section `index`, clamped to its bounds; an index outside the
    // sections is ignored.
    void SetSectionWidth(int index, int width);
    void SetHeaderFont(const TFont& font);

signals:
    void SectionWidthChanged(int index, int width);

private:
    void OnSectionResized(int index, int oldWidth, int newWidth);
    void ShowSection(int index);

    QStandardItemModel model_;
    std::vector<THeaderSection> sections_;
};
