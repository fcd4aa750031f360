#pragma once

#include "ui/CellStyle.h"
#include "ui/ColumnHeader.h"
#include "ui/ColumnRowList.h"
#include "ui/ListBoxStrings.h"

#include <QWidget>
#include <functional>
#include <string_view>
#include <vector>

// A list of text rows under a header bar, inside a sunken frame. Each row is
// one byte string (code page 936); when it is painted it is cut at the
// delimiter and field k is drawn as the cell under header section k. Nothing
// is kept per row but the string.
class TColumnListBox : public QWidget {
    Q_OBJECT

public:
    // Paints a row's cells into its inner rectangle.
    using DrawItemEvent = TStyledListBox::DrawHook;
    // May change the background and the font a row's cells were given.
    using GetLineSettingsEvent =
        std::function<void(int index, TOwnerDrawState state, TColor& background, TFont& font)>;

    explicit TColumnListBox(QWidget* parent = nullptr);
    ~TColumnListBox() override;

    TListBoxStrings& Items() { return items_; }
    const TListBoxStrings& Items() const { return items_; }
    void Clear();
    // What a row says to assistive tools: the non-empty cells the user can
    // see (those under sections wider than 0), in order, joined by ", ".
    QString RowName(int index) const;

    int ItemHeight() const { return rowList_->ItemHeight(); }
    void SetItemHeight(int height) { rowList_->SetItemHeight(height); }
    // The row list, the header bar and the frame are enabled together.
    bool Enabled() const { return rowList_->isEnabled(); }
    void SetEnabled(bool enabled);
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char delimiter);

    const std::vector<THeaderSection>& HeaderSections() const { return header_->Sections(); }
    void SetHeaderSections(std::vector<THeaderSection> sections);
    // Width of one section as if the user had dragged it.
    void SetSectionWidth(int index, int width) { header_->SetSectionWidth(index, width); }
    int HeaderHeight() const { return headerHeight_; }
    void SetHeaderHeight(int height);
    bool HeaderVisible() const { return headerVisible_; }
    void SetHeaderVisible(bool visible);
    const TFont& HeaderFont() const { return headerFont_; }
    void SetHeaderFont(const TFont& font);
    bool HeaderFlat() const { return header_->Flat(); }
    void SetHeaderFlat(bool flat) { header_->SetFlat(flat); }
    bool HeaderHotTrack() const { return header_->HotTrack(); }
    void SetHeaderHotTrack(bool hotTrack) { header_->SetHotTrack(hotTrack); }
    // False: the user can neither drag a divider nor click a section.
    bool AllowResize() const { return header_->AllowResize(); }
    void SetAllowResize(bool allow) { header_->SetAllowResize(allow); }
    void SetOnHeaderDrawSection(TColumnHeader::DrawSectionHook hook) {
        header_->SetDrawSectionHook(std::move(hook));
    }

    // Width across which header and rows scroll together; 0: no horizontal
    // scrolling, the rows are as wide as the frame.
    int VirtualWidth() const { return virtualWidth_; }
    void SetVirtualWidth(int width);
    // True: the virtual width is the sum of the section widths whenever that
    // is more than the frame's client width, else 0.
    bool VirtualAutoWidth() const { return virtualAutoWidth_; }
    void SetVirtualAutoWidth(bool autoWidth);

    const TFont& Font() const { return rowList_->Font(); }
    void SetFont(const TFont& font) { rowList_->SetFont(font); }
    TColor Color() const { return rowList_->Color(); }
    void SetColor(TColor color) { rowList_->SetColor(color); }
    const TCellStyle& CellStyle() const { return cellStyle_; }
    void SetCellStyle(const TCellStyle& style);

    // The cell layer of a row runs: OnDrawItem in place of everything else
    // while the style is not lbStandard; otherwise the colours are chosen,
    // OnGetLineSettings, the background fill, OnPrepareDrawItem, the text.
    void SetOnDrawItem(DrawItemEvent handler);
    void SetOnGetLineSettings(GetLineSettingsEvent handler);
    void SetOnPrepareDrawItem(DrawItemEvent handler);

    // Focus goes to the row list; the frame itself is never a tab stop.
    void SetFocus() { rowList_->setFocus(); }
    // False: the row list takes the focus by click only, not by Tab.
    bool TabStop() const { return rowList_->focusPolicy() == Qt::StrongFocus; }
    void SetTabStop(bool tabStop) {
        rowList_->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    }
    bool Focused() const { return hasFocus() || rowList_->hasFocus(); }

    TColumnRowList& RowList() { return *rowList_; }
    TColumnHeader& Header() { return *header_; }

signals:
    // After each width change of a section, in this order.
    void HeaderSized(int index, int width);
    void HeaderSectionResize(int index);
    void HeaderSectionClick(int index);
    void HeaderSectionTrack(int index, int width, TSectionTrackState state);
    // The user moved the selection to another row.
    void Select(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int ClientWidth() const;
    int ClientHeight() const;
    void Layout();
    void FitVirtualWidth();
    void OnSectionWidthChanged(int index, int width);
    void PaintCells(TCanvas& canvas, int index, const TRect& inner, TOwnerDrawState state);
    void ChooseColours(TCanvas& canvas, int index, TOwnerDrawState state) const;
    void DrawFields(TCanvas& canvas, std::string_view row, const TRect& inner) const;
    void DrawGridLines(TCanvas& canvas, const TRect& inner) const;

    TColumnHeader* header_;
    TColumnRowList* rowList_;
    TListBoxStrings items_;
    char delimiter_ = ';';
    int headerHeight_ = 17;
    bool headerVisible_ = true;
    TFont headerFont_;
    TCellStyle cellStyle_;
    DrawItemEvent onDrawItem_;
    GetLineSettingsEvent onGetLineSettings_;
    DrawItemEvent onPrepareDrawItem_;
    int virtualWidth_ = 0;
    bool virtualAutoWidth_ = false;
};
