#include "ui/StyledLabel.h"

#include "platform/CodePage.h"
#include "ui/BorderPanel.h"
#include "ui/Canvas.h"
#include "ui/WidgetAccessibility.h"

#include <QPainter>

TStyledLabel::TStyledLabel(QWidget* parent) : QWidget(parent) {
    InstallWidgetAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStyledLabel::SetCaption(const QString& caption) {
    caption_ = caption;
    setAccessibleName(caption);
    AdjustSize();
    update();
}

void TStyledLabel::SetFont(const TFont& font) {
    font_ = font;
    setFont(font.ToQFont());
    AdjustSize();
    update();
}

unsigned TStyledLabel::TextFlags() const {
    return DT_LEFT | DT_EXPANDTABS | (WordWrap ? DT_WORDBREAK : 0u) |
           (ShowAccelChar ? 0u : DT_NOPREFIX);
}

// Width as the text measures; height one em per line, the cell height of the
// faces the window names (fontconfig's substitutes add leading).
void TStyledLabel::AdjustSize() {
    if (!AutoSize)
        return;
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    TCanvas canvas(painter);
    canvas.Font = font_;
    TRect r{0, 0, WordWrap ? width() : 0, 0};
    const int height =
        canvas.DrawText(Utf8ToGbk(caption_.toStdString()), r, TextFlags() | DT_CALCRECT);
    const int lineHeight = QFontMetrics(font_.ToQFont()).height();
    const int lines = lineHeight > 0 ? height / lineHeight : 0;
    resize(r.Width() + 2 * TextMargin, lines * font_.Height + 2 * TextMargin);
}

void TStyledLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    TCanvas canvas(painter);
    canvas.Brush.Color = ParentColorOf(*this);
    canvas.FillRect({0, 0, width(), height()});
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Font = font_;
    if (!isEnabled())
        canvas.Font.Color = clGrayText;
    else if (FlyByEnabled && mouseOver_)
        canvas.Font.Color = FlyByColor;
    TRect r{TextMargin, TextMargin, width() - TextMargin, height() - TextMargin};
    canvas.DrawText(Utf8ToGbk(caption_.toStdString()), r, TextFlags());
}

void TStyledLabel::enterEvent(QEnterEvent* event) {
    mouseOver_ = true;
    if (FlyByEnabled)
        update();
    QWidget::enterEvent(event);
}

void TStyledLabel::leaveEvent(QEvent* event) {
    mouseOver_ = false;
    if (FlyByEnabled)
        update();
    QWidget::leaveEvent(event);
}
