#pragma once

#include "platform/SystemColors.h"
#include "ui/Canvas.h"
#include "ui/Font.h"
#include "ui/Rect.h"

#include <QAbstractScrollArea>
#include <string>
#include <vector>

// Flags of a row to be drawn.
enum TOwnerDrawFlag : unsigned { odSelected = 1, odDisabled = 2, odFocused = 4 };
using TOwnerDrawState = unsigned;

// The list box that the row list is built on: an owner-drawn list of byte
// strings with one fixed row height, single selection, a caret row that
// carries the focus mark, and a vertical scroll bar shown only while the rows
// overflow. It scrolls by whole rows, so the scroll position is the first
// visible row. Rows may be wider than the view (the horizontal extent); a
// horizontal scroll bar then shows while they overflow. Every row, and for an
// empty focused list the caret place, is handed to DrawItem clipped to its
// rectangle, in row coordinates: x = 0 is the rows' left end, scrolled or not.
class TListBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TListBox(QWidget* parent = nullptr);

    // Appends a row; returns its index, or -1 when the row cannot be stored.
    int AddString(std::string row) noexcept;
    void ResetContent();
    int Count() const { return static_cast<int>(rows_.size()); }
    // The row at `index`, or null outside the rows.
    const std::string* Text(int index) const;

    int ItemHeight() const { return itemHeight_; }
    // Heights of 0 or less are ignored. Rows, selection, first visible row
    // and focus stay.
    void SetItemHeight(int height);
    // The selected row, -1 for none. Selecting a row brings it into view;
    // an index outside the rows clears the selection.
    int ItemIndex() const { return itemIndex_; }
    void SetItemIndex(int index);
    int TopIndex() const;
    void SetTopIndex(int index);
    int CaretIndex() const { return caretIndex_; }

    // Width of the rows; less than the view's width means the view's width.
    int HorizontalExtent() const { return horizontalExtent_; }
    void SetHorizontalExtent(int width);
    int RowWidth() const;

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font);

    // Rectangle of row `index`: y in viewport coordinates, x across the whole
    // row, [0, RowWidth()).
    TRect ItemRect(int index) const;
    // The row under a viewport point, or -1.
    int ItemAt(int y) const;

signals:
    // The user moved the selection to another row, by mouse or keyboard.
    void Select(int index);

protected:
    virtual void DrawItem(TCanvas& canvas, int index, const TRect& rect, TOwnerDrawState state) = 0;

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int VisibleRows() const;
    void AnnounceCaret();
    void UpdateScrollRange();
    void MoveSelection(int index);
    void UserSelect(int index);
    void MakeVisible(int index);
    void PaintItem(TCanvas& canvas, QPainter& painter, int index, const TRect& rect);

    std::vector<std::string> rows_;
    int itemHeight_ = 16;
    int horizontalExtent_ = 0;
    int itemIndex_ = -1;
    int caretIndex_ = 0;
    TColor color_ = clWindow;
    TFont font_;
};
