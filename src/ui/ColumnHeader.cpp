#include "ui/ColumnHeader.h"

#include "ui/Canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionHeader>

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
    connect(this, &QHeaderView::sectionClicked, this, &TColumnHeader::OnSectionClicked);
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
    hot_ = -1;
    tracking_ = -1;
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
    if (tracking_ == index)
        emit SectionTrack(index, newWidth, TSectionTrackState::tsTrackMove);
    emit SectionWidthChanged(index, newWidth);
}

void TColumnHeader::OnSectionClicked(int index) {
    if (index >= 0 && index < static_cast<int>(sections_.size()) &&
        sections_[static_cast<size_t>(index)].AllowClick)
        emit SectionClick(index);
}

void TColumnHeader::SetFlat(bool flat) {
    flat_ = flat;
    setSectionsClickable(!flat);
    viewport()->update();
}

void TColumnHeader::SetHotTrack(bool hotTrack) {
    hotTrack_ = hotTrack;
    if (hotTrack)
        viewport()->setMouseTracking(true);
    else
        SetHot(-1);
}

void TColumnHeader::SetAllowResize(bool allow) {
    allowResize_ = allow;
    if (!allow) {
        tracking_ = -1;
        SetHot(-1);
        viewport()->unsetCursor();
    }
}

void TColumnHeader::SetDrawSectionHook(DrawSectionHook hook) {
    drawSection_ = std::move(hook);
    viewport()->update();
}

void TColumnHeader::SetHot(int index) {
    if (index == hot_)
        return;
    const int old = hot_;
    hot_ = index;
    for (const int section : {old, index})
        if (section >= 0)
            updateSection(section);
}

// The section whose right-hand divider lies within the grip margin of x, found
// the way the toolkit's header finds the divider a press starts to drag; -1
// when x is on no divider.
int TColumnHeader::DividerAt(int x) const {
    const int visual = visualIndexAt(x);
    if (visual < 0)
        return -1;
    const int logical = logicalIndex(visual);
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int start = sectionViewportPosition(logical);
    if (x < start + grip)
        return visual > 0 ? logicalIndex(visual - 1) : -1;
    if (x > start + sectionSize(logical) - grip)
        return logical;
    return -1;
}

// A section that allows no click is not pressed, so it never looks pushed.
void TColumnHeader::mousePressEvent(QMouseEvent* event) {
    if (!allowResize_)
        return;
    const int x = event->position().toPoint().x();
    const int divider = event->button() == Qt::LeftButton ? DividerAt(x) : -1;
    const int index = logicalIndexAt(x);
    if (divider < 0 && index >= 0 && !sections_[static_cast<size_t>(index)].AllowClick)
        return;
    QHeaderView::mousePressEvent(event);
    if (divider >= 0) {
        tracking_ = divider;
        emit SectionTrack(divider, sectionSize(divider), TSectionTrackState::tsTrackBegin);
    }
}

void TColumnHeader::mouseMoveEvent(QMouseEvent* event) {
    if (!allowResize_)
        return;
    QHeaderView::mouseMoveEvent(event);
    if (hotTrack_)
        SetHot(logicalIndexAt(event->position().toPoint()));
}

void TColumnHeader::mouseReleaseEvent(QMouseEvent* event) {
    if (!allowResize_)
        return;
    QHeaderView::mouseReleaseEvent(event);
    if (tracking_ < 0 || event->button() != Qt::LeftButton)
        return;
    const int index = tracking_;
    tracking_ = -1;
    emit SectionTrack(index, sectionSize(index), TSectionTrackState::tsTrackEnd);
}

void TColumnHeader::mouseDoubleClickEvent(QMouseEvent* event) {
    if (allowResize_)
        QHeaderView::mouseDoubleClickEvent(event);
}

bool TColumnHeader::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave)
        SetHot(-1);
    return QHeaderView::viewportEvent(event);
}

// The toolkit paints a plain section; a flat face, the hot caption colour and
// a section hook need the face and the caption painted one by one.
void TColumnHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const bool hot = hotTrack_ && logicalIndex == hot_;
    if (!flat_ && !hot && !drawSection_) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    if (rect.isEmpty()) // a section of width 0 takes no pixels
        return;
    QStyleOptionHeader option;
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    if (hot)
        option.palette.setColor(QPalette::ButtonText, ToQColor(clHighlight));
    if (flat_)
        PaintFlatFace(*painter, rect);
    else
        style()->drawControl(QStyle::CE_HeaderSection, &option, painter, this);
    if (drawSection_) {
        painter->save();
        TCanvas canvas(*painter);
        drawSection_(canvas, logicalIndex,
                     {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1},
                     (option.state & QStyle::State_Sunken) != 0);
        painter->restore();
        return;
    }
    QStyleOptionHeader label = option;
    label.rect = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    style()->drawControl(QStyle::CE_HeaderLabel, &label, painter, this);
}

// Button face colour with one shadow line as the divider on the right.
void TColumnHeader::PaintFlatFace(QPainter& painter, const QRect& rect) const {
    painter.save();
    TCanvas canvas(painter);
    const TRect face{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1};
    canvas.Brush = TBrush{clBtnFace};
    canvas.FillRect(face);
    canvas.Pen = TPen{clBtnShadow};
    canvas.MoveTo(face.Right - 1, face.Top);
    canvas.LineTo(face.Right - 1, face.Bottom);
    painter.restore();
}
