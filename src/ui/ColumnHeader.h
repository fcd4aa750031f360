#pragma once

#include "ui/Canvas.h"
#include "ui/Font.h"
#include "ui/HeaderSection.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <functional>
#include <vector>

// Stages of a divider drag.
enum class TSectionTrackState { tsTrackBegin, tsTrackMove, tsTrackEnd };

// The header bar: the toolkit's header control showing the sections, in the
// system colours. Users drag dividers with the contents following live; every
// width change, kept within the section's bounds, is reported once through
// SectionWidthChanged.
class TColumnHeader : public QHeaderView {
    Q_OBJECT

public:
    // Paints the face of one section (its caption area) in place of the
    // caption; `pressed` while the section is held down as a button.
    using DrawSectionHook =
        std::function<void(TCanvas& canvas, int index, const TRect& rect, bool pressed)>;

    explicit TColumnHeader(QWidget* parent = nullptr);

    const std::vector<THeaderSection>& Sections() const { return sections_; }
    void SetSections(std::vector<THeaderSection> sections);
    // Width of section `index`, clamped to its bounds; an index outside the
    // sections is ignored.
    void SetSectionWidth(int index, int width);
    void SetHeaderFont(const TFont& font);

    // False: sections neither look nor act like push buttons, so no click is
    // reported.
    bool Flat() const { return flat_; }
    void SetFlat(bool flat);
    // True: the caption of the section under the mouse is highlighted.
    bool HotTrack() const { return hotTrack_; }
    void SetHotTrack(bool hotTrack);
    // False: the mouse can neither drag a divider nor click a section.
    bool AllowResize() const { return allowResize_; }
    void SetAllowResize(bool allow);
    void SetDrawSectionHook(DrawSectionHook hook);

signals:
    void SectionWidthChanged(int index, int width);
    // A click on a section that allows clicks; nothing else happens.
    void SectionClick(int index);
    // A divider drag: begin on the press, move for each width change, end on
    // the release, each with the section's width at that moment.
    void SectionTrack(int index, int width, TSectionTrackState state);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void OnSectionResized(int index, int oldWidth, int newWidth);
    void OnSectionClicked(int index);
    void ShowSection(int index);
    int DividerAt(int x) const;
    void SetHot(int index);
    void PaintFlatFace(QPainter& painter, const QRect& rect) const;

    QStandardItemModel model_;
    std::vector<THeaderSection> sections_;
    bool flat_ = false;
    bool hotTrack_ = false;
    bool allowResize_ = true;
    DrawSectionHook drawSection_;
    int hot_ = -1;      // the section under the mouse while hot tracking
    int tracking_ = -1; // the section whose divider is being dragged
};
