#include "ui/ColumnListBox.h"

#include "platform/CodePage.h"
#include "ui/RowSplit.h"
#include "ui/WidgetAccessibility.h"

#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <numeric>

namespace {

constexpr int kEdge = 2; // the sunken client edge on each side

unsigned AlignmentFlag(TAlignment alignment) {
    switch (alignment) {
    case TAlignment::taRightJustify:
        return DT_RIGHT;
    case TAlignment::taCenter:
        return DT_CENTER;
    default:
        return DT_LEFT;
    }
}

unsigned TextFlags(TColumnOptions options) {
    unsigned flags = DT_NOPREFIX;
    if (options & loPathEllipsis)
        flags |= DT_PATH_ELLIPSIS;
    if (options & loEndEllipsis)
        flags |= DT_END_ELLIPSIS;
    if (options & loEditControl)
        flags |= DT_EDITCONTROL;
    return flags;
}

// Rows of nothing but spaces, tabs, line breaks and other control bytes show
// only their background.
bool IsBlank(std::string_view row) {
    return std::all_of(row.begin(), row.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) <= 0x20; });
}

} // namespace

TColumnListBox::TColumnListBox(QWidget* parent)
    : QWidget(parent), header_(new TColumnHeader(this)), rowList_(new TColumnRowList(this)),
      items_(*rowList_) {
    InstallWidgetAccessibility();
    setFocusPolicy(Qt::NoFocus);
    setFocusProxy(rowList_);
    connect(header_, &TColumnHeader::SectionWidthChanged, this,
            &TColumnListBox::OnSectionWidthChanged);
    connect(header_, &TColumnHeader::SectionClick, this, &TColumnListBox::HeaderSectionClick);
    connect(header_, &TColumnHeader::SectionTrack, this, &TColumnListBox::HeaderSectionTrack);
    connect(rowList_, &TListBox::Select, this, &TColumnListBox::Select);
    // The header follows the rows when they scroll across.
    connect(rowList_->horizontalScrollBar(), &QScrollBar::valueChanged, header_,
            &QHeaderView::setOffset);
    rowList_->SetDrawHook(
        [this](TCanvas& canvas, int index, const TRect& inner, TOwnerDrawState state) {
            PaintCells(canvas, index, inner, state);
        });
    resize(100, 100);
    Layout();
}

// The children go with the QWidget base, header first; the row list must no
// longer call into this object by then.
TColumnListBox::~TColumnListBox() {
    rowList_->SetDrawHook({});
}

void TColumnListBox::Clear() {
    items_.Clear();
}

void TColumnListBox::SetEnabled(bool enabled) {
    if (enabled == rowList_->isEnabled())
        return;
    rowList_->setEnabled(enabled);
    header_->setEnabled(enabled);
    setEnabled(enabled);
}

void TColumnListBox::SetDelimiter(char delimiter) {
    delimiter_ = delimiter;
    rowList_->viewport()->update();
}

void TColumnListBox::SetHeaderSections(std::vector<THeaderSection> sections) {
    header_->SetSections(std::move(sections));
    FitVirtualWidth();
    Layout();
    rowList_->viewport()->update();
}

void TColumnListBox::SetHeaderHeight(int height) {
    headerHeight_ = std::max(height, 0);
    Layout();
}

void TColumnListBox::SetHeaderVisible(bool visible) {
    headerVisible_ = visible;
    Layout();
}

void TColumnListBox::SetHeaderFont(const TFont& font) {
    headerFont_ = font;
    header_->SetHeaderFont(font);
}

void TColumnListBox::SetCellStyle(const TCellStyle& style) {
    cellStyle_ = style;
    rowList_->viewport()->update();
}

void TColumnListBox::SetOnDrawItem(DrawItemEvent handler) {
    onDrawItem_ = std::move(handler);
    rowList_->viewport()->update();
}

void TColumnListBox::SetOnGetLineSettings(GetLineSettingsEvent handler) {
    onGetLineSettings_ = std::move(handler);
    rowList_->viewport()->update();
}

void TColumnListBox::SetOnPrepareDrawItem(DrawItemEvent handler) {
    onPrepareDrawItem_ = std::move(handler);
    rowList_->viewport()->update();
}

void TColumnListBox::SetVirtualWidth(int width) {
    virtualWidth_ = std::max(width, 0);
    rowList_->SetHorizontalExtent(virtualWidth_);
}

void TColumnListBox::SetVirtualAutoWidth(bool autoWidth) {
    virtualAutoWidth_ = autoWidth;
    FitVirtualWidth();
}

void TColumnListBox::FitVirtualWidth() {
    if (!virtualAutoWidth_)
        return;
    const std::vector<THeaderSection>& sections = header_->Sections();
    const int total = std::accumulate(
        sections.begin(), sections.end(), 0,
        [](int sum, const THeaderSection& section) { return sum + section.Width(); });
    SetVirtualWidth(total > ClientWidth() ? total : 0);
}

int TColumnListBox::ClientWidth() const {
    return std::max(width() - 2 * kEdge, 0);
}

int TColumnListBox::ClientHeight() const {
    return std::max(height() - 2 * kEdge, 0);
}

void TColumnListBox::Layout() {
    int top = kEdge;
    header_->setVisible(headerVisible_);
    if (headerVisible_) {
        header_->setGeometry(kEdge, kEdge, ClientWidth(), std::min(headerHeight_, ClientHeight()));
        top += header_->height();
    }
    rowList_->setGeometry(kEdge, top, ClientWidth(), std::max(height() - kEdge - top, 0));
}

void TColumnListBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitVirtualWidth();
    Layout();
}

// The sunken client edge: shadow above and left, light below and right.
void TColumnListBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TCanvas canvas(painter);
    const int right = width() - 1;
    const int bottom = height() - 1;
    const auto ring = [&canvas](int inset, int r, int b, TColor dark, TColor light) {
        canvas.Pen = TPen{dark};
        canvas.MoveTo(inset, b);
        canvas.LineTo(inset, inset);
        canvas.LineTo(r, inset);
        canvas.Pen = TPen{light};
        canvas.LineTo(r, b);
        canvas.LineTo(inset - 1, b);
    };
    ring(0, right, bottom, clBtnShadow, clBtnHighlight);
    ring(1, right - 1, bottom - 1, cl3DDkShadow, cl3DLight);
}

void TColumnListBox::OnSectionWidthChanged(int index, int width) {
    FitVirtualWidth();
    Layout();
    rowList_->viewport()->update();
    emit HeaderSized(index, width);
    emit HeaderSectionResize(index);
}

void TColumnListBox::PaintCells(TCanvas& canvas, int index, const TRect& inner,
                                TOwnerDrawState state) {
    if (cellStyle_.Style != TListBoxStyle::lbStandard && onDrawItem_) {
        onDrawItem_(canvas, index, inner, state);
        return;
    }
    ChooseColours(canvas, index, state);
    if (onGetLineSettings_)
        onGetLineSettings_(index, state, canvas.Brush.Color, canvas.Font);
    if (!cellStyle_.Transparent)
        canvas.FillRect(inner);
    canvas.Brush.Style = TBrushStyle::bsClear;
    if (onPrepareDrawItem_)
        onPrepareDrawItem_(canvas, index, inner, state);
    const std::string* row = rowList_->Text(index);
    if (!row || IsBlank(*row))
        return;
    DrawFields(canvas, *row, inner);
    DrawGridLines(canvas, inner);
}

void TColumnListBox::ChooseColours(TCanvas& canvas, int index, TOwnerDrawState state) const {
    const TCellStyle& style = cellStyle_;
    if (state & odSelected) {
        canvas.Brush = TBrush{style.SelectedColor};
        canvas.Font.Color = style.SelectedFontColor;
        canvas.Font.Style = style.SelectedFontStyle;
        return;
    }
    canvas.Font.Style = Font().Style;
    if (style.AlternateColors && index % 2 == 1) {
        canvas.Brush = TBrush{style.AltLineColor};
        canvas.Font.Color = style.AltFontColor;
    } else {
        canvas.Brush = TBrush{Color()};
        canvas.Font.Color = Font().Color;
    }
    // The caption colour of an inactive window, not the grey-text colour.
    if (state & odDisabled)
        canvas.Font.Color = clInactiveCaption;
}

// Cell k spans [S_k + 2, S_(k+1)) with the right edge held at W - 1, where S
// are the section boundaries and W the width of the rows. The last section
// shows the rest of the row; with no section at all the whole row is one
// left-aligned cell.
void TColumnListBox::DrawFields(TCanvas& canvas, std::string_view row, const TRect& inner) const {
    const unsigned flags = TextFlags(cellStyle_.ColumnOptions);
    const std::vector<THeaderSection>& sections = header_->Sections();
    if (sections.empty()) {
        TRect cell{inner.Left + 2, inner.Top, inner.Right, inner.Bottom};
        canvas.DrawText(row, cell, flags | DT_LEFT);
        return;
    }
    const int width = rowList_->RowWidth();
    const std::vector<std::string_view> fields = SplitRow(row, delimiter_, sections.size());
    const size_t shown = fields.size();
    int x = inner.Left;
    for (size_t k = 0; k < shown; ++k) {
        int right = x + sections[k].Width() - 1;
        if (right > width)
            right = width - 1;
        TRect cell{x + 1, inner.Top, right, inner.Bottom};
        canvas.DrawText(fields[k], cell, flags | AlignmentFlag(sections[k].Alignment));
        x = right + 1;
    }
}

QString TColumnListBox::RowName(int index) const {
    const std::string* row = rowList_->Text(index);
    if (row == nullptr)
        return {};
    const std::vector<THeaderSection>& sections = header_->Sections();
    if (sections.empty())
        return QString::fromStdString(GbkToUtf8(*row));
    QStringList cells;
    const std::vector<std::string_view> fields = SplitRow(*row, delimiter_, sections.size());
    for (size_t k = 0; k < fields.size(); ++k)
        if (sections[k].Width() > 0 && !fields[k].empty())
            cells << QString::fromStdString(GbkToUtf8(std::string(fields[k])));
    return cells.join(", ");
}

void TColumnListBox::DrawGridLines(TCanvas& canvas, const TRect& inner) const {
    const TCellStyle& style = cellStyle_;
    const bool vertical =
        style.GridLines == TGridLines::glVertical || style.GridLines == TGridLines::glBoth;
    const bool horizontal =
        style.GridLines == TGridLines::glHorizontal || style.GridLines == TGridLines::glBoth;
    if (vertical) {
        canvas.Pen = TPen{style.GridVertColor, style.GridVertStyle};
        int x = inner.Left;
        for (const THeaderSection& section : header_->Sections()) {
            x += section.Width();
            if (std::abs(x - ClientWidth()) <= 1)
                continue;
            canvas.MoveTo(x - 1, 0);
            canvas.LineTo(x - 1, ClientHeight());
        }
    }
    if (horizontal) {
        canvas.Pen = TPen{style.GridHorzColor, style.GridHorzStyle};
        canvas.MoveTo(inner.Left, inner.Bottom - 1);
        canvas.LineTo(inner.Right, inner.Bottom - 1);
    }
}
