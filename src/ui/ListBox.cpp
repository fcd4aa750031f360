#include "ui/ListBox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace {

constexpr int kHorizontalStep = 8; // pixels per arrow click or key press

} // namespace

TListBox::TListBox(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(kHorizontalStep);
    UpdateScrollRange();
}

int TListBox::AddString(std::string row) noexcept {
    if (rows_.size() >= static_cast<size_t>(INT_MAX))
        return -1;
    try {
        rows_.push_back(std::move(row));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const int index = Count() - 1;
    UpdateScrollRange();
    viewport()->update(ItemRect(index).ToQRect());
    return index;
}

void TListBox::ResetContent() {
    rows_.clear();
    rows_.shrink_to_fit();
    itemIndex_ = -1;
    caretIndex_ = 0;
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

const std::string* TListBox::Text(int index) const {
    return index >= 0 && index < Count() ? &rows_[static_cast<size_t>(index)] : nullptr;
}

void TListBox::SetItemHeight(int height) {
    if (height <= 0 || height == itemHeight_)
        return;
    const int top = TopIndex();
    itemHeight_ = height;
    UpdateScrollRange();
    SetTopIndex(top);
    MakeVisible(itemIndex_);
    viewport()->update();
}

void TListBox::SetItemIndex(int index) {
    if (index < 0 || index >= Count()) {
        if (itemIndex_ != -1) {
            viewport()->update(ItemRect(itemIndex_).ToQRect());
            itemIndex_ = -1;
        }
        return;
    }
    MoveSelection(index);
}

int TListBox::TopIndex() const {
    return verticalScrollBar()->value();
}

void TListBox::SetTopIndex(int index) {
    verticalScrollBar()->setValue(index);
}

void TListBox::SetHorizontalExtent(int width) {
    horizontalExtent_ = std::max(width, 0);
    UpdateScrollRange();
    viewport()->update();
}

int TListBox::RowWidth() const {
    return std::max(horizontalExtent_, viewport()->width());
}

void TListBox::SetColor(TColor color) {
    color_ = color;
    viewport()->update();
}

void TListBox::SetFont(const TFont& font) {
    font_ = font;
    viewport()->update();
}

// Far-off rows are held well inside int range: heights of thousands of pixels
// times thousands of rows would overflow it.
TRect TListBox::ItemRect(int index) const {
    constexpr long long kFar = 1 << 29;
    const long long offset = static_cast<long long>(index) - TopIndex();
    const int top = static_cast<int>(std::clamp(offset * itemHeight_, -kFar, kFar));
    return {0, top, RowWidth(), static_cast<int>(std::min<long long>(top + itemHeight_, kFar))};
}

int TListBox::ItemAt(int y) const {
    if (y < 0)
        return -1;
    const int index = TopIndex() + y / itemHeight_;
    return index < Count() ? index : -1;
}

int TListBox::VisibleRows() const {
    return std::max(viewport()->height() / itemHeight_, 1);
}

void TListBox::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(VisibleRows());
    bar->setRange(0, std::max(Count() - VisibleRows(), 0));
    QScrollBar* across = horizontalScrollBar();
    across->setPageStep(viewport()->width());
    across->setRange(0, RowWidth() - viewport()->width());
}

void TListBox::MoveSelection(int index) {
    if (itemIndex_ >= 0)
        viewport()->update(ItemRect(itemIndex_).ToQRect());
    viewport()->update(ItemRect(caretIndex_).ToQRect());
    itemIndex_ = index;
    caretIndex_ = index;
    MakeVisible(index);
    viewport()->update(ItemRect(index).ToQRect());
}

void TListBox::UserSelect(int index) {
    const bool changed = index != itemIndex_;
    MoveSelection(index);
    AnnounceCaret();
    if (changed)
        emit Select(index);
}

void TListBox::MakeVisible(int index) {
    if (index < 0)
        return;
    if (index < TopIndex())
        SetTopIndex(index);
    else if (index >= TopIndex() + VisibleRows())
        SetTopIndex(index - VisibleRows() + 1);
}

void TListBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    TCanvas canvas(painter);
    canvas.Brush.Color = color_;
    const QRect dirty = event->rect();
    canvas.FillRect({dirty.left(), dirty.top(), dirty.right() + 1, dirty.bottom() + 1});
    painter.translate(-horizontalScrollBar()->value(), 0);
    if (rows_.empty()) {
        if (hasFocus())
            PaintItem(canvas, painter, -1, {0, 0, RowWidth(), 0});
        return;
    }
    for (int index = TopIndex(); index < Count(); ++index) {
        const TRect rect = ItemRect(index);
        if (rect.Top >= dirty.bottom() + 1)
            break;
        if (rect.Bottom > dirty.top())
            PaintItem(canvas, painter, index, rect);
    }
}

void TListBox::PaintItem(TCanvas& canvas, QPainter& painter, int index, const TRect& rect) {
    TOwnerDrawState state = 0;
    if (index >= 0 && index == itemIndex_)
        state |= odSelected;
    if (!isEnabled())
        state |= odDisabled;
    if (hasFocus() && (index == caretIndex_ || index < 0))
        state |= odFocused;
    painter.save();
    painter.setClipRect(QRect(rect.Left, rect.Top, rect.Width(), itemHeight_));
    canvas.Font = font_;
    DrawItem(canvas, index, rect, state);
    painter.restore();
}

void TListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TListBox::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const int index = ItemAt(event->position().toPoint().y());
    if (index >= 0)
        UserSelect(index);
}

void TListBox::keyPressEvent(QKeyEvent* event) {
    const int from = itemIndex_ >= 0 ? itemIndex_ : caretIndex_;
    int to = -1;
    switch (event->key()) {
    case Qt::Key_Up:
        to = from - 1;
        break;
    case Qt::Key_Down:
        to = itemIndex_ >= 0 ? from + 1 : from;
        break;
    case Qt::Key_PageUp:
        to = from - VisibleRows() + 1;
        break;
    case Qt::Key_PageDown:
        to = from + VisibleRows() - 1;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = Count() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (Count() > 0)
        UserSelect(std::clamp(to, 0, Count() - 1));
}

void TListBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    // After the list's own focus event, which the toolkit sends when this
    // handler has returned, so the row is what the listener hears last.
    QMetaObject::invokeMethod(this, &TListBox::AnnounceCaret, Qt::QueuedConnection);
}

// Tells assistive tools which row holds the focus.
void TListBox::AnnounceCaret() {
    if (!hasFocus() || caretIndex_ < 0 || caretIndex_ >= Count())
        return;
    QAccessibleEvent focus(this, QAccessible::Focus);
    focus.setChild(caretIndex_);
    QAccessible::updateAccessibility(&focus);
}

void TListBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TListBox::scrollContentsBy(int /*dx*/, int /*dy*/) {
    viewport()->update();
}
